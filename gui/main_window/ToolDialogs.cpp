#include "gui/main_window/ToolDialogs.h"

#include <QPushButton>

#include "gui/kit/ToolDialog.h"
#include "gui/convert/Asf2AviPanel.h"
#include "gui/convert/Asf2WavPanel.h"
#include "gui/convert/MediaEncoderPanel.h"
#include "gui/recovery/LostChunkPanel.h"
#include "gui/recovery/ShrinkerPanel.h"

namespace mendery::ui {

const ToolDialogTexts kLostChunkTexts{QStringLiteral("丢失的数据块"), QStringLiteral("丢失数据块 -"), QStringLiteral("修复"),
                                      QStringLiteral("处理"), QStringLiteral("播放修复后的文件"), OutputFor::LostChunk, true};
const ToolDialogTexts kShrinkerTexts{QStringLiteral("缩减器"), QStringLiteral("压缩器 - "), QStringLiteral("缩减"),
                                     QStringLiteral("压缩"), QStringLiteral("播放缩减版"), OutputFor::Shrinker, true};
const ToolDialogTexts kReEncodeTexts{QStringLiteral("重新编码"), QStringLiteral("重新编码 - "), QStringLiteral("开始"),
                                     QStringLiteral("开始"), QStringLiteral("播放重新编码文件"), OutputFor::ReEncoder, true};
const ToolDialogTexts kAviTexts{QStringLiteral("转换为Avi"), QStringLiteral("转换为 Avi - "), QStringLiteral("转换"),
                                QStringLiteral("转换"), QStringLiteral("播放Avi"), OutputFor::Avi, false};
const ToolDialogTexts kWavTexts{QStringLiteral("转换为Wav"), QStringLiteral("转换为 Wav - "), QStringLiteral("转换"),
                                QStringLiteral("转换"), QStringLiteral("播放Wav"), OutputFor::Wav, false};

// The re-encoder's run button only starts or stops; the encoder frame manages its caption.
class TBxReEncode : public ToolDialog {
public:
    TBxReEncode(MediaEncoderPanel* panel, QWidget* parent) : ToolDialog(kReEncodeTexts, panel, parent), panel_(panel) {
        setObjectName(QStringLiteral("BxReEncode"));
        panel->SetRunButton(RunButton());
    }

    void done(int result) override {
        panel_->StopEncoding();
        ToolDialog::done(result);
    }

protected:
    void RunClicked() override {
        RunGuarded(this, Source(), [this] { Frame()->Run(); });
    }

private:
    MediaEncoderPanel* panel_;
};

QString LostChunkRecovery(QWidget* parent, const QString& source) {
    ToolDialog dialog(kLostChunkTexts, new LostChunkPanel, parent);
    dialog.setObjectName(QStringLiteral("BxLostChunk"));
    return dialog.Execute(source);
}

QString ShrinkFile(QWidget* parent, const QString& source, bool cuttingToolAvailable) {
    auto* panel = new ShrinkerPanel;
    ToolDialog dialog(kShrinkerTexts, panel, parent);
    dialog.setObjectName(QStringLiteral("BxShrinker"));
    if (!cuttingToolAvailable) panel->DisableExtraCompression();
    return dialog.Execute(source);
}

void ConvertToAvi(QWidget* parent, const QString& source) {
    ToolDialog dialog(kAviTexts, new Asf2AviPanel, parent);
    dialog.setObjectName(QStringLiteral("BxToAvi"));
    dialog.Execute(source);
}

void ConvertToWav(QWidget* parent, const QString& source) {
    ToolDialog dialog(kWavTexts, new Asf2WavPanel, parent);
    dialog.setObjectName(QStringLiteral("BxToWav"));
    dialog.Execute(source);
}


QString ReEncode(QWidget* parent, const QString& source) {
    auto* panel = new MediaEncoderPanel;
    TBxReEncode dialog(panel, parent);
    return dialog.Execute(source);
}


}  // namespace mendery::ui
