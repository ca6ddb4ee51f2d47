#pragma once
// The shrinker panel: log, progress, counter, shrink-ratio panel, the extra-compression box and
// the output row over TShrinker.
#include "gui/kit/ToolFrame.h"
#include "recovery/Shrinker.h"

class QCheckBox;

namespace mendery::ui {

class ShrinkerPanel : public ToolFrame {
    Q_OBJECT
public:
    explicit ShrinkerPanel(QWidget* parent = nullptr);
    TShrinker& Engine() { return engine_; }

    QCheckBox* ExtraCompressionBox;  // "应用加强缩减 (慎用)"
    QLabel* RatioPanel;              // running shrink ratio
    // Without the cutting tool the extra compression cannot run: unchecked and disabled.
    void DisableExtraCompression();

    void Prepare() override;
    void Run() override;
    void Abort() override { engine_.Aborted = true; }
    RunEnd LastRunEnd() const override { return RunEndOf(engine_.LastOutcome(), engine_.LastSummary().chunksWritten); }

private:
    TShrinker engine_;
};

}  // namespace mendery::ui
