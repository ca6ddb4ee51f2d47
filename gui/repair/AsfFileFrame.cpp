#include "gui/repair/AsfFileFrame.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "gui/kit/OutputRow.h"
#include "gui/kit/QtHost.h"
#include "gui/kit/Text.h"
#include "gui/kit/RadioGroup.h"
#include "gui/kit/Widgets.h"
#include "repair/RepairPresets.h"
#include "gui/repair/BadChunk.h"

namespace mendery::ui {

namespace {
// Every check box, in the order the form creates them, with the engine option it drives.
struct OptionBox {
    QCheckBox* TAsfFileFrame::*box;
    const char* name;
    const char* caption;
    bool TAsfFile::*option;
};
const OptionBox kOptionBoxes[] = {
    {&TAsfFileFrame::WriteDetailBox, "CheckBox7", "写入细节", &TAsfFile::WriteLog},
    {&TAsfFileFrame::FixFileSizeBox, "CheckBox5", "修复文件大小", &TAsfFile::FixFileSize},
    {&TAsfFileFrame::FixDataSizeBox, "CheckBox6", "修复数据大小", &TAsfFile::FixDataSize},
    {&TAsfFileFrame::FixTotalTimeBox, "CheckBox9", "修复全部时间", &TAsfFile::FixTotalTime},
    {&TAsfFileFrame::FixPlayTimeBox, "CheckBox10", "修复播放时间", &TAsfFile::FixPlayTime},
    {&TAsfFileFrame::FixChunkCountBox, "CheckBox11", "修复数据块数量", &TAsfFile::FixChunkCount},
    {&TAsfFileFrame::FixTimeCodesBox, "CheckBox8", "修复时间编码", &TAsfFile::FixTimeCodes},
    {&TAsfFileFrame::StripHeaderBox, "CheckBox13", "分离文件头", &TAsfFile::StripHeader},
    {&TAsfFileFrame::StripIndexBox, "CheckBox12", "分离索引", &TAsfFile::StripIndex},
    {&TAsfFileFrame::CleanHeaderBox, "CheckBox4", "清除文件头", &TAsfFile::CleanHeader},
    {&TAsfFileFrame::Pad08Box, "CheckBox1", "标记08的修复", &TAsfFile::FixPad08},
    {&TAsfFileFrame::Pad10Box, "CheckBox2", "标记10的修复", &TAsfFile::FixPad10},
    {&TAsfFileFrame::Pad40Box, "CheckBox3", "标记40的修复", &TAsfFile::FixPad40},
};
}  // namespace

TAsfFileFrame::TAsfFileFrame(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("AsfFileFrame"));
    BuildOptionBoxes();
    BuildRadioGroups();
    QHBoxLayout* options = LayOutOptions();
    const OutputRow output = MakeOutputRow(this, QStringLiteral("输出文件:"), QStringLiteral("Edit1"), QStringLiteral("输出文件的名称和路径"));
    OutputEdit = output.edit;
    OutputButton = output.button;
    connect(OutputButton, &QToolButton::clicked, this, &TAsfFileFrame::ChooseOutput);
    BuildProgressAndLog();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(options);
    layout->addLayout(output.layout);
    layout->addWidget(ProgressBar);
    layout->addWidget(LogMemo, 1);

    host_ = new QtHost(LogMemo, ProgressBar, nullptr, this);
}

void TAsfFileFrame::BuildOptionBoxes() {
    for (const OptionBox& o : kOptionBoxes) {
        auto* b = new QCheckBox(ToQt(o.caption), this);
        b->setObjectName(QString::fromLatin1(o.name));
        connect(b, &QCheckBox::clicked, this, [this, b] { OptionBoxClicked(b); });
        this->*o.box = b;
    }
    WriteDetailBox->setToolTip(UiText("如果检查,日志将列出全部数据块的所有细节.\r这将使处理过程减慢许多.\r如果不检查, 则只有重要的事件被记录."));
}

void TAsfFileFrame::BuildRadioGroups() {
    auto group = [this](const char* name, const char* caption, QStringList items, int columns, const char* hint) {
        auto* g = new RadioGroup(ToQt(caption), items, columns, this);
        g->setObjectName(QString::fromLatin1(name));
        g->setToolTip(ToQt(hint));
        return g;
    };
    BadChunkGroup = group("RadioGroup1", "损坏的数据块",
                          {"什么也不做", "每个都询问", "删除它们", "以零填充", "复制最后好的部分", "删除+恢复最近 "}, 2,
                          "决定怎样处置损坏的数据块");
    SeekableGroup = group("RadioGroup2", "可定位标记", {"不替换", "使用定位 ", "禁用定位"}, 1, "决定怎样处置可定位标记");
    LiveGroup = group("RadioGroup3", "直播标记", {"不替换", "设置直播 ", "重设直播"}, 1, "决定怎样处置直播标记");
    OtherFlagsGroup = group("RadioGroup4", "其他标记", {"不替换", "清除全部"}, 1, "决定怎样处置其他标记");
    connect(BadChunkGroup, &RadioGroup::Clicked, this, [this](int i) { Engine().FixForBadChunk = BadChunkAction(i); });
    connect(SeekableGroup, &RadioGroup::Clicked, this, [this](int i) { Engine().FileSeekableFlag = SeekableFlagChange(i); });
    connect(LiveGroup, &RadioGroup::Clicked, this, [this](int i) { Engine().LiveFlag = LiveFlagChange(i); });
    connect(OtherFlagsGroup, &RadioGroup::Clicked, this, [this](int i) { Engine().OtherFlags = OtherFlagsChange(i); });
}

void TAsfFileFrame::BuildProgressAndLog() {
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar->setToolTip(QStringLiteral("进度条"));
    ProgressBar->setValue(0);
    LogMemo = new QPlainTextEdit(this);
    LogMemo->setObjectName(QStringLiteral("Memo1"));
    LogMemo->setToolTip(QStringLiteral("信息窗口"));
    StyleLogMemo(LogMemo);
    LogMemo->setMinimumHeight(160);
}

// The options in four columns: messages and bad chunks, the flags, " 计算 " and " 工具 ".
QHBoxLayout* TAsfFileFrame::LayOutOptions() {
    auto* messages = new QGroupBox(QStringLiteral("消息"), this);
    (new QVBoxLayout(messages))->addWidget(WriteDetailBox);

    auto* compute = new QGroupBox(QStringLiteral(" 计算 "), this);
    compute->setObjectName(QStringLiteral("GroupCompute"));
    compute->setToolTip(QStringLiteral("计算"));
    auto* computeLayout = new QVBoxLayout(compute);
    for (auto* b : {FixFileSizeBox, FixDataSizeBox, FixTotalTimeBox, FixPlayTimeBox, FixChunkCountBox}) computeLayout->addWidget(b);
    computeLayout->addStretch(1);

    auto* tools = new QGroupBox(QStringLiteral(" 工具 "), this);
    tools->setObjectName(QStringLiteral("GroupTools"));
    tools->setToolTip(QStringLiteral("工具"));
    auto* toolsLayout = new QVBoxLayout(tools);
    for (auto* b : {FixTimeCodesBox, StripHeaderBox, StripIndexBox, CleanHeaderBox}) toolsLayout->addWidget(b);
    toolsLayout->addWidget(new QLabel(QStringLiteral(" 填充标记"), tools));
    for (auto* b : {Pad08Box, Pad10Box, Pad40Box}) toolsLayout->addWidget(b);

    auto* left = new QVBoxLayout;
    left->addWidget(messages);
    left->addWidget(BadChunkGroup);
    left->addStretch(1);
    auto* middle = new QVBoxLayout;
    middle->addWidget(SeekableGroup);
    middle->addWidget(LiveGroup);
    middle->addWidget(OtherFlagsGroup);
    middle->addStretch(1);
    auto* options = new QHBoxLayout;
    options->addLayout(left);
    options->addLayout(middle);
    options->addWidget(compute);
    options->addWidget(tools);
    return options;
}

TAsfFileFrame::~TAsfFileFrame() = default;

TAsfFile& TAsfFileFrame::Engine() {
    if (!engine_) {
        engine_ = std::make_unique<TAsfFile>();
        engine_->AttachHost(*host_);
        engine_->OnDecideForBadChunk = [this](TAsfFile& sender, BadChunkAction& whatToDo, std::int64_t index) {
            DecideForBadChunk(sender, whatToDo, index);
        };
    }
    return *engine_;
}

QList<QCheckBox*> TAsfFileFrame::CheckBoxes() const {
    QList<QCheckBox*> boxes;
    for (const OptionBox& o : kOptionBoxes) boxes << this->*o.box;
    return boxes;
}

QList<RadioGroup*> TAsfFileFrame::RadioGroups() const { return {BadChunkGroup, SeekableGroup, LiveGroup, OtherFlagsGroup}; }

bool TAsfFile::*TAsfFileFrame::OptionOf(const QCheckBox* box) const {
    for (const OptionBox& o : kOptionBoxes)
        if (this->*o.box == box) return o.option;
    return nullptr;
}

void TAsfFileFrame::OptionBoxClicked(QCheckBox* box) {
    if (auto member = OptionOf(box)) Engine().*member = box->isChecked();
}

void TAsfFileFrame::Reset() {
    Engine();
    ResetOptions();
    ProgressBar->setValue(0);
    host_->ClearLog();
}

void TAsfFileFrame::ResetOptions() {
    for (auto* g : RadioGroups()) g->SetItemIndex(0);
    for (auto* b : CheckBoxes()) {
        b->setChecked(false);
        OptionBoxClicked(b);
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
        if (auto member = OptionOf(b)) b->setChecked(e.*member);
    BadChunkGroup->ShowItemIndex(static_cast<int>(e.FixForBadChunk));
    SeekableGroup->ShowItemIndex(static_cast<int>(e.FileSeekableFlag));
    LiveGroup->ShowItemIndex(static_cast<int>(e.LiveFlag));
    OtherFlagsGroup->ShowItemIndex(static_cast<int>(e.OtherFlags));
}

void TAsfFileFrame::SetOutput(const QString& path) { OutputEdit->setText(path); }
QString TAsfFileFrame::Output() const { return OutputEdit->text(); }

void TAsfFileFrame::RunRepair() {
    TAsfFile& e = Engine();
    e.FileName = ToStd(SourceFileName);
    e.OutFileName = ToStd(workOutput_.isEmpty() ? OutputEdit->text() : workOutput_);
    e.Run();
    host_->Flush();
}

RunEnd TAsfFileFrame::LastRunEnd() const {
    if (!engine_) return RunEnd::Nothing;
    return RunEndOf(engine_->LastOutcome(), engine_->LastSummary().chunkCount);
}

bool TAsfFileFrame::AcceptChosenOutput(const QString& path) {
    if (RefusedAsSource(this, SourceFileName, path)) return false;
    OutputEdit->setText(path);
    return true;
}

void TAsfFileFrame::ChooseOutput() {
    const SaveDialogTexts texts{QStringLiteral("输出文件"), QStringLiteral("流文件 (*.asf *.wmv *.wma)"), QStringLiteral("asf")};
    const QString path = AskSaveFileName(this, texts, OutputEdit->text());
    if (!path.isEmpty()) AcceptChosenOutput(path);
}

void TAsfFileFrame::DecideForBadChunk(TAsfFile&, BadChunkAction& whatToDo, std::int64_t chunkIndex) {
    host_->Flush();
    whatToDo = TBadChunk::Instance().Decide(chunkIndex);
}

}  // namespace mendery::ui
