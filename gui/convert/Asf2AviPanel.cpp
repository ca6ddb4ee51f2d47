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
#include "gui/kit/Widgets.h"
#include "gui/convert/Asf2WavPanel.h"

namespace mendery::ui {

TAsf2AviPanel::TAsf2AviPanel(QWidget* parent)
    : TToolFrame(QStringLiteral("Edit4"),
                 {QStringLiteral("转换为Avi文件"), QStringLiteral("Avi文件 (*.avi)"), QStringLiteral("avi"), QStringLiteral("Avi文件:")},
                 parent) {
    setObjectName(QStringLiteral("Asf2Avi"));
    engine_.AttachHost(Host());

    RGTimingMethod = new TRadioGroup(QStringLiteral("定时方法 "), {QStringLiteral("冗余帧数量最小化"), QStringLiteral("最佳音频/视频同步")}, 2, this);
    RGTimingMethod->setObjectName(QStringLiteral("RGTimingMethod"));
    RGTimingMethod->setToolTip(UiText(
        "Asf影片不包含固定的帧率. 在转换过程中,为了同步音频或视频，\r\n一些复制的帧将被添加至影片中. Mendery为此提供了两种方法:  \r\n"
        "1- 最少冗余帧\r\n这种方式将找出整个影片的平均帧率且使用这种速率做为同步音频和视频的基准。\r\n这将得到最佳的文件尺寸和平滑的活动影像.\r\r\n"
        "2- 最佳音频/视频同步\r\n这种方法找出影片中最快的帧率并使用这种速率为同步音频和视频的基准。\r\n只有当第一种方法同步视频与音频失败时,才使用这种方法."));
    connect(RGTimingMethod, &TRadioGroup::Clicked, this, [this](int i) { engine_.TimingMethod = TTimingMethod(i); });
    CBQuickReSync = new QCheckBox(QStringLiteral("快速再同步"), this);
    CBQuickReSync->setObjectName(QStringLiteral("CBQuickReSync"));
    CBQuickReSync->setToolTip(UiText("快速同步视频和音频\r*此选项在某些影片中会引起视频停滞,所以要注意避免.\r\r\n此选项将因更多数目的冗余帧而产生更多的效果"));
    connect(CBQuickReSync, &QCheckBox::clicked, this, [this](bool on) { engine_.QuickReSync = on; });
    auto* top = new QHBoxLayout;
    top->addWidget(RGTimingMethod, 1);
    top->addWidget(CBQuickReSync);
    Options()->addLayout(top);

    auto* header = new QGroupBox(this);
    header->setObjectName(QStringLiteral("HeaderPanel"));
    HeaderPanel = header;
    auto* grid = new QGridLayout(header);
    auto edit = [&](const char* name, const char* label, int row, int col) {
        auto* e = new QLineEdit(header);
        e->setObjectName(QString::fromLatin1(name));
        e->setEnabled(false);
        grid->addWidget(new QLabel(QString::fromUtf8(label), header), row, col);
        grid->addWidget(e, row, col + 1);
        return e;
    };
    Edit1 = edit("Edit1", "帧/秒", 0, 0);
    Edit1->setToolTip(QStringLiteral("选择转换文件的速率"));
    Edit2 = edit("Edit2", "v.fcc处理器", 0, 2);
    Edit8 = edit("Edit8", "v.压缩", 1, 0);
    Edit15 = edit("Edit15", "a.格式标签", 1, 2);

    auto* trackLabel = new QLabel(QStringLiteral("音频至视频:"), header);
    trackLabel->setToolTip(QStringLiteral("移动音频向前或置于视频之前"));
    TrackBar1 = new QSlider(Qt::Horizontal, header);
    TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
    TrackBar1->setRange(0, 200);
    TrackBar1->setValue(100);
    TrackBar1->setTickInterval(10);
    TrackBar1->setEnabled(false);
    TrackBar1->setToolTip(QStringLiteral("向前移动音频或置于视频之前"));
    Panel7 = new QLabel(QStringLiteral("0"), header);
    Panel7->setObjectName(QStringLiteral("Panel7"));
    Panel7->setFrameShape(QFrame::StyledPanel);
    Panel7->setMinimumWidth(40);
    Panel7->setAlignment(Qt::AlignCenter);
    SpeedButton2 = MakeCommandButton(header, QStringLiteral("SpeedButton2"), QIcon(), QStringLiteral("0"), QStringLiteral("重设起始位置"),
                                     Qt::ToolButtonTextOnly);
    SpeedButton2->setAutoRaise(false);
    SpeedButton2->setEnabled(false);
    connect(TrackBar1, &QSlider::valueChanged, this, [this](int p) { Panel7->setText(QString::number(p - 100)); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { TrackBar1->setValue(100); });
    auto* track = new QHBoxLayout;
    track->addWidget(trackLabel);
    track->addWidget(new QLabel(QStringLiteral("起点"), header));
    track->addWidget(TrackBar1, 1);
    track->addWidget(new QLabel(QStringLiteral("终点"), header));
    track->addWidget(Panel7);
    track->addWidget(SpeedButton2);
    grid->addLayout(track, 2, 0, 1, 4);

    CheckBox1 = new QCheckBox(QStringLiteral("编辑Avi文件头(慎用)"), header);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setToolTip(UiText("多数时候, 不需要编辑avi文件头.\r此特性只有掌握一定视频文件知识的用户才可使用."));
    connect(CheckBox1, &QCheckBox::clicked, this, &TAsf2AviPanel::CheckBox1Click);
    BitBtn1 = new QPushButton(QStringLiteral("升级Avi"), header);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setToolTip(QStringLiteral("将改变写入avi文件头"));
    BitBtn1->setEnabled(false);
    BitBtn1->setAutoDefault(false);
    connect(BitBtn1, &QPushButton::clicked, this, &TAsf2AviPanel::BitBtn1Click);
    BitBtn2 = new QPushButton(QStringLiteral("制做DivX"), header);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setToolTip(QStringLiteral("转换已经生成的AVI文件为DivX(如果可能)"));
    BitBtn2->setEnabled(false);
    BitBtn2->setAutoDefault(false);
    connect(BitBtn2, &QPushButton::clicked, this, &TAsf2AviPanel::BitBtn2Click);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(CheckBox1);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    grid->addLayout(buttons, 3, 0, 1, 4);
    Options()->addWidget(header);
}

void TAsf2AviPanel::ShowFieldValues() {
    const auto& f = engine_.Fields;
    auto show = [](QLineEdit* e, const std::string& v) {
        const QString text = QString::fromStdString(v);
        if (e->text() != text) e->setText(text);
    };
    show(Edit1, f.framesPerSecond);
    show(Edit2, f.videoHandler);
    show(Edit8, f.compression);
    show(Edit15, f.audioFormatTag);
    TrackBar1->setValue(f.audioToVideo);
}

void TAsf2AviPanel::ShowFields() {
    ShowFieldValues();
    const bool open = engine_.EditMode() == emUnlock;
    for (QWidget* w : std::initializer_list<QWidget*>{Edit1, Edit2, Edit8, Edit15, BitBtn1, SpeedButton2, TrackBar1})
        w->setEnabled(open);
    TrackBar1->setTickPosition(open ? QSlider::TicksBelow : QSlider::NoTicks);
    BitBtn2->setEnabled(open && engine_.DivXEnabled());
    if (!open && CheckBox1->isChecked()) CheckBox1->setChecked(false);
}

void TAsf2AviPanel::TakeFields() {
    auto& f = engine_.Fields;
    f.framesPerSecond = Edit1->text().toStdString();
    f.videoHandler = Edit2->text().toStdString();
    f.compression = Edit8->text().toStdString();
    f.audioFormatTag = Edit15->text().toStdString();
    f.audioToVideo = TrackBar1->value();
}

void TAsf2AviPanel::CheckBox1Click() {
    TakeFields();
    if (!engine_.SetHeaderEditing(CheckBox1->isChecked())) CheckBox1->setChecked(false);
    ShowFields();
}

void TAsf2AviPanel::BitBtn1Click() {
    TakeFields();
    RunConverter(this, OutFileName, [this] { engine_.UpgradeAvi(); });
    ShowFields();
    FinishRun();
}

void TAsf2AviPanel::BitBtn2Click() {
    TakeFields();
    RunConverter(this, OutFileName, [this] { engine_.MakeDivX(); });
    ShowFields();
    FinishRun();
}

void TAsf2AviPanel::Prepare() {
    engine_.Reset();
    RGTimingMethod->SetItemIndex(0);
    CBQuickReSync->setChecked(false);
    engine_.QuickReSync = false;
    CheckBox1->setChecked(false);
    ShowFields();
    ClearRun();
}

void TAsf2AviPanel::Run() {
    engine_.FileName = FileName.toStdString();
    engine_.OutFileName = WorkOutput().toStdString();
    // The header panel is locked while the conversion runs; its values show as soon as the
    // converter has read them.
    CheckBox1->setChecked(false);
    HeaderPanel->setEnabled(false);
    Host().OnEvents = [this] { ShowFieldValues(); };
    struct Restore {
        TAsf2AviPanel* panel;
        ~Restore() {
            panel->Host().OnEvents = nullptr;
            panel->HeaderPanel->setEnabled(true);
        }
    } restore{this};
    engine_.Convert();  // an error opening the files reaches the dialog's error display
    ShowFields();
    FinishRun();
}

void TAsf2AviPanel::OutputSettled(TRunEnd end) {
    // The header edits write into the output itself, and only into one this run produced.
    engine_.OutFileName = OutFileName.toStdString();
    if (end == TRunEnd::Nothing) engine_.SetEditMode(emClear);
    ShowFields();
}

}  // namespace mendery::ui
