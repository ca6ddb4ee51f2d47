#include "gui/repair/AsfFileFrame.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "gui/kit/QtHost.h"
#include "gui/kit/Widgets.h"
#include "asf/BinaryFile.h"
#include "repair/RepairPresets.h"
#include "gui/repair/BadChunk.h"

namespace mendery::ui {

namespace {
// The engine option each check box drives.
bool TAsfFile::*OptionOf(const QString& name) {
    static const std::pair<const char*, bool TAsfFile::*> table[] = {
        {"CheckBox1", &TAsfFile::FixPad08},      {"CheckBox2", &TAsfFile::FixPad10},
        {"CheckBox3", &TAsfFile::FixPad40},      {"CheckBox4", &TAsfFile::CleanHeader},
        {"CheckBox5", &TAsfFile::FixFileSize},   {"CheckBox6", &TAsfFile::FixDataSize},
        {"CheckBox7", &TAsfFile::WriteLog},      {"CheckBox8", &TAsfFile::FixTimeCodes},
        {"CheckBox9", &TAsfFile::FixTotalTime},  {"CheckBox10", &TAsfFile::FixPlayTime},
        {"CheckBox11", &TAsfFile::FixChunkCount}, {"CheckBox12", &TAsfFile::StripIndex},
        {"CheckBox13", &TAsfFile::StripHeader},
    };
    for (const auto& [n, member] : table)
        if (name == QLatin1String(n)) return member;
    return nullptr;
}
}  // namespace

TAsfFileFrame::TAsfFileFrame(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("AsfFileFrame"));
    auto box = [this](const char* name, const char* caption) {
        auto* b = new QCheckBox(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        connect(b, &QCheckBox::clicked, this, [this, b] { CheckBoxClick(b); });
        return b;
    };
    CheckBox7 = box("CheckBox7", "写入细节");
    CheckBox7->setToolTip(UiText("如果检查,日志将列出全部数据块的所有细节.\r这将使处理过程减慢许多.\r如果不检查, 则只有重要的事件被记录."));
    CheckBox5 = box("CheckBox5", "修复文件大小");
    CheckBox6 = box("CheckBox6", "修复数据大小");
    CheckBox9 = box("CheckBox9", "修复全部时间");
    CheckBox10 = box("CheckBox10", "修复播放时间");
    CheckBox11 = box("CheckBox11", "修复数据块数量");
    CheckBox8 = box("CheckBox8", "修复时间编码");
    CheckBox13 = box("CheckBox13", "分离文件头");
    CheckBox12 = box("CheckBox12", "分离索引");
    CheckBox4 = box("CheckBox4", "清除文件头");
    CheckBox1 = box("CheckBox1", "标记08的修复");
    CheckBox2 = box("CheckBox2", "标记10的修复");
    CheckBox3 = box("CheckBox3", "标记40的修复");

    auto group = [this](const char* name, const char* caption, QStringList items, int columns, const char* hint) {
        auto* g = new TRadioGroup(QString::fromUtf8(caption), items, columns, this);
        g->setObjectName(QString::fromLatin1(name));
        g->setToolTip(QString::fromUtf8(hint));
        return g;
    };
    RadioGroup1 = group("RadioGroup1", "损坏的数据块",
                        {"什么也不做", "每个都询问", "删除它们", "以零填充", "复制最后好的部分", "删除+恢复最近 "}, 2,
                        "决定怎样处置损坏的数据块");
    RadioGroup2 = group("RadioGroup2", "可定位标记", {"不替换", "使用定位 ", "禁用定位"}, 1, "决定怎样处置可定位标记");
    RadioGroup3 = group("RadioGroup3", "直播标记", {"不替换", "设置直播 ", "重设直播"}, 1, "决定怎样处置直播标记");
    RadioGroup4 = group("RadioGroup4", "其他标记", {"不替换", "清除全部"}, 1, "决定怎样处置其他标记");
    connect(RadioGroup1, &TRadioGroup::Clicked, this, [this](int i) { Engine().FixForBadChunk = BadChunkAction(i); });
    connect(RadioGroup2, &TRadioGroup::Clicked, this, [this](int i) { Engine().FileSeekableFlag = SeekableFlagChange(i); });
    connect(RadioGroup3, &TRadioGroup::Clicked, this, [this](int i) { Engine().LiveFlag = LiveFlagChange(i); });
    connect(RadioGroup4, &TRadioGroup::Clicked, this, [this](int i) { Engine().OtherFlags = OtherFlagsChange(i); });

    auto* messages = new QGroupBox(QStringLiteral("消息"), this);
    (new QVBoxLayout(messages))->addWidget(CheckBox7);

    auto* compute = new QGroupBox(QStringLiteral(" 计算 "), this);
    compute->setObjectName(QStringLiteral("GroupCompute"));
    compute->setToolTip(QStringLiteral("计算"));
    auto* computeLayout = new QVBoxLayout(compute);
    for (auto* b : {CheckBox5, CheckBox6, CheckBox9, CheckBox10, CheckBox11}) computeLayout->addWidget(b);
    computeLayout->addStretch(1);

    auto* tools = new QGroupBox(QStringLiteral(" 工具 "), this);
    tools->setObjectName(QStringLiteral("GroupTools"));
    tools->setToolTip(QStringLiteral("工具"));
    auto* toolsLayout = new QVBoxLayout(tools);
    for (auto* b : {CheckBox8, CheckBox13, CheckBox12, CheckBox4}) toolsLayout->addWidget(b);
    toolsLayout->addWidget(new QLabel(QStringLiteral(" 填充标记"), tools));
    for (auto* b : {CheckBox1, CheckBox2, CheckBox3}) toolsLayout->addWidget(b);

    auto* left = new QVBoxLayout;
    left->addWidget(messages);
    left->addWidget(RadioGroup1);
    left->addStretch(1);
    auto* middle = new QVBoxLayout;
    middle->addWidget(RadioGroup2);
    middle->addWidget(RadioGroup3);
    middle->addWidget(RadioGroup4);
    middle->addStretch(1);
    auto* options = new QHBoxLayout;
    options->addLayout(left);
    options->addLayout(middle);
    options->addWidget(compute);
    options->addWidget(tools);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setReadOnly(true);
    Edit1->setToolTip(QStringLiteral("输出文件的名称和路径"));
    SpeedButton1 = MakeCommandButton(this, QStringLiteral("SpeedButton1"), ThemeIcon("document-save-as", QStyle::SP_DialogSaveButton),
                                     QString(), QStringLiteral("选择新的输出文件名称及路径"), Qt::ToolButtonIconOnly);
    SpeedButton1->setAutoRaise(false);
    connect(SpeedButton1, &QToolButton::clicked, this, &TAsfFileFrame::SpeedButton1Click);
    auto* outRow = new QHBoxLayout;
    outRow->addWidget(new QLabel(QStringLiteral("输出文件:"), this));
    outRow->addWidget(Edit1, 1);
    outRow->addWidget(SpeedButton1);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setToolTip(QStringLiteral("进度条"));
    ProgressBar1->setValue(0);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setToolTip(QStringLiteral("信息窗口"));
    StyleLogMemo(Memo1);
    Memo1->setMinimumHeight(160);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(options);
    layout->addLayout(outRow);
    layout->addWidget(ProgressBar1);
    layout->addWidget(Memo1, 1);

    host_ = new TQtHost(Memo1, ProgressBar1, nullptr, this);
}

TAsfFileFrame::~TAsfFileFrame() = default;

TAsfFile& TAsfFileFrame::Engine() {
    if (!engine_) {
        engine_ = std::make_unique<TAsfFile>();
        engine_->AttachHost(*host_);
        engine_->OnDecideForBadChunk = [this](TAsfFile& sender, BadChunkAction& whatToDo, std::int64_t index) {
            AsfFile1DecideForBadChunk(sender, whatToDo, index);
        };
    }
    return *engine_;
}

QList<QCheckBox*> TAsfFileFrame::CheckBoxes() const {
    return {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, CheckBox6, CheckBox7,
            CheckBox8, CheckBox9, CheckBox10, CheckBox11, CheckBox12, CheckBox13};
}

QList<TRadioGroup*> TAsfFileFrame::RadioGroups() const { return {RadioGroup1, RadioGroup2, RadioGroup3, RadioGroup4}; }

void TAsfFileFrame::CheckBoxClick(QCheckBox* box) {
    if (auto member = OptionOf(box->objectName())) Engine().*member = box->isChecked();
}

void TAsfFileFrame::Reset() {
    Engine();
    ResetOptions();
    ProgressBar1->setValue(0);
    host_->ClearLog();
}

void TAsfFileFrame::ResetOptions() {
    for (auto* g : RadioGroups()) g->SetItemIndex(0);
    for (auto* b : CheckBoxes()) {
        b->setChecked(false);
        CheckBoxClick(b);
    }
}

void TAsfFileFrame::EnableOptions(bool enabled) {
    // Disabled controls are drawn greyed by the style, as the button-shadow colour did.
    for (auto* b : CheckBoxes()) b->setEnabled(enabled);
    for (auto* g : RadioGroups()) g->setEnabled(enabled);
}

void TAsfFileFrame::ShowEngineOptions() {
    TAsfFile& e = Engine();
    for (auto* b : CheckBoxes())
        if (auto member = OptionOf(b->objectName())) b->setChecked(e.*member);
    RadioGroup1->ShowItemIndex(static_cast<int>(e.FixForBadChunk));
    RadioGroup2->ShowItemIndex(static_cast<int>(e.FileSeekableFlag));
    RadioGroup3->ShowItemIndex(static_cast<int>(e.LiveFlag));
    RadioGroup4->ShowItemIndex(static_cast<int>(e.OtherFlags));
}

void TAsfFileFrame::SetOutput(const QString& path) { Edit1->setText(path); }
QString TAsfFileFrame::Output() const { return Edit1->text(); }

void TAsfFileFrame::RunRepair() {
    TAsfFile& e = Engine();
    e.FileName = SourceFileName.toStdString();
    e.OutFileName = (workOutput_.isEmpty() ? Edit1->text() : workOutput_).toStdString();
    e.Run();
    host_->Flush();
}

TRunEnd TAsfFileFrame::LastRunEnd() const {
    if (!engine_) return TRunEnd::Nothing;
    return RunEndOf(engine_->LastOutcome(), engine_->LastSummary().chunkCount);
}

bool TAsfFileFrame::AcceptChosenOutput(const QString& path) {
    if (path == SourceFileName || IsSameFile(path.toStdString(), SourceFileName.toStdString())) {
        QMessageBox::warning(this, window()->windowTitle(), QStringLiteral("输出文件不能和输入文件相同, 请再试一下."));
        return false;
    }
    Edit1->setText(path);
    return true;
}

void TAsfFileFrame::SpeedButton1Click() {
    QFileDialog dialog(this, QStringLiteral("输出文件"), Edit1->text(), QStringLiteral("流文件 (*.asf *.wmv *.wma)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("asf"));
    dialog.setDirectory(QFileInfo(Edit1->text()).absolutePath());
    dialog.selectFile(Edit1->text());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    AcceptChosenOutput(dialog.selectedFiles().first());
}

void TAsfFileFrame::AsfFile1DecideForBadChunk(TAsfFile&, BadChunkAction& whatToDo, std::int64_t chunkIndex) {
    host_->Flush();
    whatToDo = TBadChunk::Instance().Decide(chunkIndex);
}

}  // namespace mendery::ui
