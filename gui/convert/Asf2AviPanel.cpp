#include "gui/convert/Asf2AviPanel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include "gui/kit/QtHost.h"
#include "gui/kit/RunGuarded.h"
#include "gui/kit/Text.h"
#include "gui/kit/RadioGroup.h"
#include "gui/kit/Widgets.h"

namespace mendery::ui {

Asf2AviPanel::Asf2AviPanel(QWidget* parent)
    : ToolFrame({QStringLiteral("Edit4"), QStringLiteral("Avi文件:"),
                  {QStringLiteral("转换为Avi文件"), QStringLiteral("Avi文件 (*.avi)"), QStringLiteral("avi")}},
                 parent) {
    setObjectName(QStringLiteral("Asf2Avi"));
    engine_.AttachHost(Host());
    Options()->addLayout(BuildTimingRow());
    Options()->addWidget(BuildHeaderPanel());
}

QHBoxLayout* Asf2AviPanel::BuildTimingRow() {
    TimingMethodGroup = new RadioGroup(QStringLiteral("定时方法 "), {QStringLiteral("冗余帧数量最小化"), QStringLiteral("最佳音频/视频同步")}, 2, this);
    TimingMethodGroup->setObjectName(QStringLiteral("RGTimingMethod"));
    TimingMethodGroup->setToolTip(UiText(
        "Asf影片不包含固定的帧率. 在转换过程中,为了同步音频或视频，\r\n一些复制的帧将被添加至影片中. Mendery为此提供了两种方法:  \r\n"
        "1- 最少冗余帧\r\n这种方式将找出整个影片的平均帧率且使用这种速率做为同步音频和视频的基准。\r\n这将得到最佳的文件尺寸和平滑的活动影像.\r\r\n"
        "2- 最佳音频/视频同步\r\n这种方法找出影片中最快的帧率并使用这种速率为同步音频和视频的基准。\r\n只有当第一种方法同步视频与音频失败时,才使用这种方法."));
    connect(TimingMethodGroup, &RadioGroup::Clicked, this, [this](int i) { engine_.TimingMethod = TTimingMethod(i); });
    QuickReSyncBox = new QCheckBox(QStringLiteral("快速再同步"), this);
    QuickReSyncBox->setObjectName(QStringLiteral("CBQuickReSync"));
    QuickReSyncBox->setToolTip(UiText("快速同步视频和音频\r*此选项在某些影片中会引起视频停滞,所以要注意避免.\r\r\n此选项将因更多数目的冗余帧而产生更多的效果"));
    connect(QuickReSyncBox, &QCheckBox::clicked, this, [this](bool on) { engine_.QuickReSync = on; });
    auto* top = new QHBoxLayout;
    top->addWidget(TimingMethodGroup, 1);
    top->addWidget(QuickReSyncBox);
    return top;
}

QWidget* Asf2AviPanel::BuildHeaderPanel() {
    auto* header = new QGroupBox(this);
    header->setObjectName(QStringLiteral("HeaderPanel"));
    HeaderPanel = header;
    auto* grid = new QGridLayout(header);
    BuildHeaderEdits(header, grid);
    grid->addLayout(BuildOffsetRow(header), 2, 0, 1, 4);
    grid->addLayout(BuildHeaderButtons(header), 3, 0, 1, 4);
    return header;
}

void Asf2AviPanel::BuildHeaderEdits(QWidget* header, QGridLayout* grid) {
    auto edit = [header, grid](const char* name, const char* label, int row, int col) {
        auto* e = new QLineEdit(header);
        e->setObjectName(QString::fromLatin1(name));
        e->setEnabled(false);
        grid->addWidget(new QLabel(ToQt(label), header), row, col);
        grid->addWidget(e, row, col + 1);
        return e;
    };
    FrameRateEdit = edit("Edit1", "帧/秒", 0, 0);
    FrameRateEdit->setToolTip(QStringLiteral("选择转换文件的速率"));
    VideoHandlerEdit = edit("Edit2", "v.fcc处理器", 0, 2);
    CompressionEdit = edit("Edit8", "v.压缩", 1, 0);
    AudioFormatTagEdit = edit("Edit15", "a.格式标签", 1, 2);
}

QHBoxLayout* Asf2AviPanel::BuildOffsetRow(QWidget* header) {
    auto* trackLabel = new QLabel(QStringLiteral("音频至视频:"), header);
    trackLabel->setToolTip(QStringLiteral("移动音频向前或置于视频之前"));
    AudioOffsetTrack = new QSlider(Qt::Horizontal, header);
    AudioOffsetTrack->setObjectName(QStringLiteral("TrackBar1"));
    AudioOffsetTrack->setRange(0, 200);
    AudioOffsetTrack->setValue(100);
    AudioOffsetTrack->setTickInterval(10);
    AudioOffsetTrack->setEnabled(false);
    AudioOffsetTrack->setToolTip(QStringLiteral("向前移动音频或置于视频之前"));
    AudioOffsetPanel = new QLabel(QStringLiteral("0"), header);
    AudioOffsetPanel->setObjectName(QStringLiteral("Panel7"));
    AudioOffsetPanel->setFrameShape(QFrame::StyledPanel);
    AudioOffsetPanel->setMinimumWidth(40);
    AudioOffsetPanel->setAlignment(Qt::AlignCenter);
    ResetOffsetButton = MakeCommandButton(header, QStringLiteral("SpeedButton2"), QIcon(), QStringLiteral("0"),
                                          QStringLiteral("重设起始位置"), Qt::ToolButtonTextOnly);
    ResetOffsetButton->setAutoRaise(false);
    ResetOffsetButton->setEnabled(false);
    connect(AudioOffsetTrack, &QSlider::valueChanged, this, [this](int p) { AudioOffsetPanel->setText(QString::number(p - 100)); });
    connect(ResetOffsetButton, &QToolButton::clicked, this, [this] { AudioOffsetTrack->setValue(100); });
    auto* track = new QHBoxLayout;
    track->addWidget(trackLabel);
    track->addWidget(new QLabel(QStringLiteral("起点"), header));
    track->addWidget(AudioOffsetTrack, 1);
    track->addWidget(new QLabel(QStringLiteral("终点"), header));
    track->addWidget(AudioOffsetPanel);
    track->addWidget(ResetOffsetButton);
    return track;
}

QHBoxLayout* Asf2AviPanel::BuildHeaderButtons(QWidget* header) {
    EditHeaderBox = new QCheckBox(QStringLiteral("编辑Avi文件头(慎用)"), header);
    EditHeaderBox->setObjectName(QStringLiteral("CheckBox1"));
    EditHeaderBox->setToolTip(UiText("多数时候, 不需要编辑avi文件头.\r此特性只有掌握一定视频文件知识的用户才可使用."));
    connect(EditHeaderBox, &QCheckBox::clicked, this, &Asf2AviPanel::EditHeaderClick);
    UpgradeAviButton = new QPushButton(QStringLiteral("升级Avi"), header);
    UpgradeAviButton->setObjectName(QStringLiteral("BitBtn1"));
    UpgradeAviButton->setToolTip(QStringLiteral("将改变写入avi文件头"));
    UpgradeAviButton->setEnabled(false);
    UpgradeAviButton->setAutoDefault(false);
    connect(UpgradeAviButton, &QPushButton::clicked, this, &Asf2AviPanel::UpgradeAviClick);
    MakeDivXButton = new QPushButton(QStringLiteral("制做DivX"), header);
    MakeDivXButton->setObjectName(QStringLiteral("BitBtn2"));
    MakeDivXButton->setToolTip(QStringLiteral("转换已经生成的AVI文件为DivX(如果可能)"));
    MakeDivXButton->setEnabled(false);
    MakeDivXButton->setAutoDefault(false);
    connect(MakeDivXButton, &QPushButton::clicked, this, &Asf2AviPanel::MakeDivXClick);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(EditHeaderBox);
    buttons->addStretch(1);
    buttons->addWidget(UpgradeAviButton);
    buttons->addWidget(MakeDivXButton);
    return buttons;
}

void Asf2AviPanel::ShowFieldValues() {
    const auto& f = engine_.Fields;
    auto show = [](QLineEdit* e, const std::string& v) {
        const QString text = ToQt(v);
        if (e->text() != text) e->setText(text);
    };
    show(FrameRateEdit, f.framesPerSecond);
    show(VideoHandlerEdit, f.videoHandler);
    show(CompressionEdit, f.compression);
    show(AudioFormatTagEdit, f.audioFormatTag);
    AudioOffsetTrack->setValue(f.audioToVideo);
}

void Asf2AviPanel::ShowFields() {
    ShowFieldValues();
    const bool open = engine_.EditMode() == emUnlock;
    for (QWidget* w : std::initializer_list<QWidget*>{FrameRateEdit, VideoHandlerEdit, CompressionEdit, AudioFormatTagEdit, UpgradeAviButton, ResetOffsetButton, AudioOffsetTrack})
        w->setEnabled(open);
    AudioOffsetTrack->setTickPosition(open ? QSlider::TicksBelow : QSlider::NoTicks);
    MakeDivXButton->setEnabled(open && engine_.DivXEnabled());
    if (!open && EditHeaderBox->isChecked()) EditHeaderBox->setChecked(false);
}

void Asf2AviPanel::TakeFields() {
    auto& f = engine_.Fields;
    f.framesPerSecond = ToStd(FrameRateEdit->text());
    f.videoHandler = ToStd(VideoHandlerEdit->text());
    f.compression = ToStd(CompressionEdit->text());
    f.audioFormatTag = ToStd(AudioFormatTagEdit->text());
    f.audioToVideo = AudioOffsetTrack->value();
}

void Asf2AviPanel::EditHeaderClick() {
    TakeFields();
    if (!engine_.SetHeaderEditing(EditHeaderBox->isChecked())) EditHeaderBox->setChecked(false);
    ShowFields();
}

void Asf2AviPanel::UpgradeAviClick() {
    TakeFields();
    RunGuarded(this, OutFileName, [this] { engine_.UpgradeAvi(); });
    ShowFields();
    FinishRun();
}

void Asf2AviPanel::MakeDivXClick() {
    TakeFields();
    RunGuarded(this, OutFileName, [this] { engine_.MakeDivX(); });
    ShowFields();
    FinishRun();
}

void Asf2AviPanel::Prepare() {
    engine_.Reset();
    TimingMethodGroup->SetItemIndex(0);
    QuickReSyncBox->setChecked(false);
    engine_.QuickReSync = false;
    EditHeaderBox->setChecked(false);
    ShowFields();
    ClearRun();
}

void Asf2AviPanel::Run() {
    engine_.FileName = ToStd(FileName);
    engine_.OutFileName = ToStd(WorkOutput());
    // The header panel is locked while the conversion runs; its values show as soon as the
    // converter has read them.
    EditHeaderBox->setChecked(false);
    HeaderPanel->setEnabled(false);
    Host().OnEvents = [this] { ShowFieldValues(); };
    struct Restore {
        Asf2AviPanel* panel;
        ~Restore() {
            panel->Host().OnEvents = nullptr;
            panel->HeaderPanel->setEnabled(true);
        }
    } restore{this};
    engine_.Convert();  // an error opening the files reaches the dialog's error display
    ShowFields();
    FinishRun();
}

void Asf2AviPanel::OutputSettled(RunEnd end) {
    // The header edits write into the output itself, and only into one this run produced.
    engine_.OutFileName = ToStd(OutFileName);
    if (end == RunEnd::Nothing) engine_.SetEditMode(emClear);
    ShowFields();
}

}  // namespace mendery::ui
