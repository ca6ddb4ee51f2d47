#include "gui/cut/CutForm.h"

#include <QApplication>
#include <QAudioDevice>
#include <QAudioOutput>
#include <QElapsedTimer>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMediaDevices>
#include <QMediaMetaData>
#include <QMediaPlayer>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoWidget>
#include <cmath>

#include "launch/ClipwrightCommandLines.h"
#include "asf/OutputNames.h"
#include "launch/ProcessRunner.h"
#include "gui/kit/FlowHost.h"
#include "gui/kit/OutputRow.h"
#include "gui/kit/QtHost.h"
#include "gui/kit/SelectionSlider.h"
#include "gui/kit/UpDown.h"
#include "gui/kit/Text.h"
#include "gui/kit/RunGuarded.h"
#include "gui/kit/ToolRunForm.h"
#include "gui/kit/RadioGroup.h"
#include "gui/kit/Widgets.h"
#include "asf/BinaryFile.h"
#include "asf/Format.h"

namespace mendery::ui {

namespace {

QString Clock(std::int64_t seconds) { return ToQt(FormatClock(seconds)); }

// How long Prepare waits for the player to learn the file's length.
constexpr int kLoadWaitMs = 10000;
// A step advances by one frame of the video, or this much when the frame rate is unknown.
constexpr int kDefaultStepMs = 40;

QLabel* MakePanel(QWidget* parent, const char* name, const QString& text, const QString& hint) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setToolTip(hint);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setAlignment(Qt::AlignCenter);
    l->setMargin(2);
    return l;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QString& hint) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(hint);
    b->setAutoDefault(false);
    return b;
}

QToolButton* MakePlayerButton(QWidget* parent, const char* name, const char* theme, QStyle::StandardPixmap fallback,
                              const QString& hint) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(ThemeIcon(theme, fallback));
    b->setToolTip(hint);
    b->setAutoRaise(true);
    b->setIconSize(QSize(20, 20));
    return b;
}

QLineEdit* MakeMarkBox(QWidget* parent, const char* name, const QString& hint) {
    auto* e = new QLineEdit(QStringLiteral("00:00:00"), parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setToolTip(hint);
    e->setReadOnly(true);
    e->setAlignment(Qt::AlignCenter);
    e->setFixedWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("000:00:00")) + 16);
    return e;
}

// Ticks on the position slider at a round number of seconds, no more than about 30 of them.
int TickSeconds(std::int64_t total) {
    for (int step : {1, 5, 10, 30, 60, 300, 600, 1800, 3600})
        if (total / step <= 30) return step;
    return static_cast<int>(total / 30);
}

}  // namespace

QString PlayerModeText(PlayerMode mode) {
    switch (mode) {
        case mpNotReady: return QStringLiteral("未准备好");
        case mpStopped: return QStringLiteral("已停止");
        case mpPlaying: return QStringLiteral("播放中");
        case mpRecording: return QStringLiteral("正在录音");
        case mpSeeking: return QStringLiteral("定位中");
        case mpPaused: return QStringLiteral("已暂停");
        case mpOpen: return QStringLiteral("打开");
    }
    return {};
}

TCutForm::TCutForm(QWidget* parent) : QDialog(parent), ToolPath(ToQt(ClipwrightPath())) {
    setObjectName(QStringLiteral("CutForm"));
    setWindowTitle(QStringLiteral("Asf分割器"));
    setMinimumSize(560, 425);
    resize(720, 620);
    host_ = std::make_unique<FlowHost>(this);

    Player = new QMediaPlayer(this);
    // The player always gets an audio output: without one, a file with only audio stops with a
    // stream error. Without a device the sound goes nowhere and the volume reads 0, as a
    // machine without a sound card behaves.
    Audio = new QAudioOutput(this);
    Player->setAudioOutput(Audio);
    hasAudioDevice_ = !QMediaDevices::audioOutputs().isEmpty();

    DisplayTimer = new QTimer(this);
    DisplayTimer->setObjectName(QStringLiteral("DisplayTimer"));
    DisplayTimer->setInterval(200);

    BuildControls();
    VolumeSlider->setEnabled(hasAudioDevice_);
    Player->setVideoOutput(VideoPanel);
    ConnectControls();
}

TCutForm::~TCutForm() {
    DisplayTimer->stop();
    Player->stop();
}

void TCutForm::BuildControls() {
    auto* root = new QVBoxLayout(this);
    root->addWidget(BuildVideoPanel(), 1);
    root->addLayout(BuildTransportRow());
    root->addLayout(BuildPanelsRow());
    root->addLayout(BuildMarksRow());
    const OutputRow output = MakeOutputRow(this, QStringLiteral("输出文件:"), QStringLiteral("OutputEdit"),
                                           QStringLiteral("输出文件的名称和路径"), QStringLiteral("OutputButton"));
    OutputEdit = output.edit;
    OutputButton = output.button;
    root->addLayout(output.layout);
    root->addLayout(BuildButtonsRow());
}

QWidget* TCutForm::BuildVideoPanel() {
    VideoPanel = new QVideoWidget(this);
    VideoPanel->setObjectName(QStringLiteral("VideoPanel"));
    VideoPanel->setAutoFillBackground(true);
    QPalette black = VideoPanel->palette();
    black.setColor(QPalette::Window, Qt::black);
    VideoPanel->setPalette(black);
    VideoPanel->setAttribute(Qt::WA_OpaquePaintEvent);
    VideoPanel->setMinimumHeight(120);
    VideoPanel->installEventFilter(this);
    return VideoPanel;
}

QHBoxLayout* TCutForm::BuildTransportRow() {
    auto* transport = new QHBoxLayout;
    PlayButton = MakePlayerButton(this, "PlayButton", "media-playback-start", QStyle::SP_MediaPlay, QStringLiteral("播放"));
    PauseButton = MakePlayerButton(this, "PauseButton", "media-playback-pause", QStyle::SP_MediaPause, QStringLiteral("暂停"));
    StepButton = MakePlayerButton(this, "StepButton", "media-seek-forward", QStyle::SP_MediaSeekForward,
                                  QStringLiteral("单帧播放"));
    RewindButton = MakePlayerButton(this, "RewindButton", "media-skip-backward", QStyle::SP_MediaSkipBackward,
                                    QStringLiteral("退至起点"));
    for (auto* b : {PlayButton, PauseButton, StepButton, RewindButton}) transport->addWidget(b);
    PositionSlider = new SelectionSlider(this);
    PositionSlider->setObjectName(QStringLiteral("PositionSlider"));
    PositionSlider->setToolTip(QStringLiteral("显示影片位置和分割选项 "));
    PositionSlider->setRange(0, 0);
    transport->addWidget(PositionSlider, 1);
    return transport;
}

QHBoxLayout* TCutForm::BuildPanelsRow() {
    auto* panels = new QHBoxLayout;
    PositionPanel = MakePanel(this, "PositionPanel", QStringLiteral("00:00:00 / 00:00:00"), QStringLiteral("影片当前位置"));
    PositionPanel->setMinimumWidth(PositionPanel->fontMetrics().horizontalAdvance(QStringLiteral("Position:000:00:00 / 000:00:00")) + 12);
    StatusPanel = MakePanel(this, "StatusPanel", QStringLiteral("状态"), QStringLiteral("状态窗口"));
    StatusPanel->setMinimumWidth(StatusPanel->fontMetrics().horizontalAdvance(QStringLiteral("未准备好 (定位中)")) + 12);
    auto* volumeIcon = new QLabel(this);
    volumeIcon->setPixmap(ThemeIcon("audio-volume-medium", QStyle::SP_MediaVolume).pixmap(16, 16));
    VolumeSlider = new QSlider(Qt::Horizontal, this);
    VolumeSlider->setObjectName(QStringLiteral("VolumeSlider"));
    VolumeSlider->setToolTip(QStringLiteral("音量控制"));
    VolumeSlider->setRange(0, 65535);
    VolumeSlider->setTickInterval(1024);
    VolumeSlider->setPageStep(4096);
    VolumeSlider->setSingleStep(1024);
    VolumeSlider->setTickPosition(QSlider::TicksBelow);
    VolumeSlider->setMinimumWidth(120);
    panels->addWidget(PositionPanel);
    panels->addWidget(StatusPanel);
    panels->addStretch(1);
    panels->addWidget(volumeIcon);
    panels->addWidget(VolumeSlider, 1);
    return panels;
}

QHBoxLayout* TCutForm::BuildMarksRow() {
    auto* marksRow = new QHBoxLayout;
    auto* marksBox = new QGroupBox(QStringLiteral("分割位置"), this);
    auto* marks = new QGridLayout(marksBox);
    SetStartButton = MakeButton(marksBox, "SetStartButton", QStringLiteral("设置起点"), QStringLiteral("设置当前位置为选定区域的起点"));
    StartEdit = MakeMarkBox(marksBox, "StartEdit", QStringLiteral("选定分割的起始点(单位:秒)"));
    StartUpDown = new UpDown(marksBox);
    StartUpDown->setObjectName(QStringLiteral("StartUpDown"));
    StartUpDown->setToolTip(QStringLiteral("前移/后移分割位置的起点"));
    GotoStartButton = MakeButton(marksBox, "GotoStartButton", QStringLiteral("跳转至"), QStringLiteral("跳转至所选部分的起点"));
    SetEndButton = MakeButton(marksBox, "SetEndButton", QStringLiteral("设置终点"), QStringLiteral("设置当前位置为选定区域的终点"));
    EndEdit = MakeMarkBox(marksBox, "EndEdit", QStringLiteral("选定的分割截止点(单位:秒)"));
    EndUpDown = new UpDown(marksBox);
    EndUpDown->setObjectName(QStringLiteral("EndUpDown"));
    EndUpDown->setToolTip(QStringLiteral("前移/后移分割位置的终点"));
    GotoEndButton = MakeButton(marksBox, "GotoEndButton", QStringLiteral("跳转至"), QStringLiteral("跳转至所选部分的终点"));
    NextSelectionButton = MakeButton(marksBox, "NextSelectionButton", QStringLiteral("设置下一选择"),
                                     QStringLiteral("所选部分前移为下一个分割"));
    for (auto* ud : {StartUpDown, EndUpDown}) {
        ud->UpButton()->setToolTip(ud->toolTip());
        ud->DownButton()->setToolTip(ud->toolTip());
    }
    marks->addWidget(SetStartButton, 0, 0);
    marks->addWidget(StartEdit, 0, 1);
    marks->addWidget(StartUpDown, 0, 2);
    marks->addWidget(GotoStartButton, 0, 3);
    marks->addWidget(SetEndButton, 1, 0);
    marks->addWidget(EndEdit, 1, 1);
    marks->addWidget(EndUpDown, 1, 2);
    marks->addWidget(GotoEndButton, 1, 3);
    marks->addWidget(NextSelectionButton, 2, 0, 1, 4);
    marksRow->addWidget(marksBox);

    OutputGroup = new RadioGroup(QStringLiteral("输出文件为"),
                                  {QStringLiteral("复制所选部分"), QStringLiteral("除选定范围外所有内容")}, 1, this);
    OutputGroup->setObjectName(QStringLiteral("OutputGroup"));
    OutputGroup->setToolTip(QStringLiteral("选择怎样制做分割文件"));
    OutputGroup->ShowItemIndex(0);
    marksRow->addWidget(OutputGroup, 1);
    return marksRow;
}

QHBoxLayout* TCutForm::BuildButtonsRow() {
    auto* buttons = new QHBoxLayout;
    CutButton = MakeButton(this, "CutButton", QStringLiteral("分割"), QStringLiteral("按选定制作分割文件"));
    PlayOutputButton = MakeButton(this, "PlayOutputButton", QStringLiteral("播放输出文件"),
                                  QStringLiteral("启动media player并播放已分割的文件"));
    DeleteOutputButton = MakeButton(this, "DeleteOutputButton", QStringLiteral("删除输出文件"), QStringLiteral("删除已分割文件"));
    CloseButton = MakeButton(this, "CloseButton", QStringLiteral("关闭"), QStringLiteral("关闭窗口"));
    buttons->addWidget(CutButton);
    buttons->addWidget(PlayOutputButton);
    buttons->addWidget(DeleteOutputButton);
    buttons->addStretch(1);
    buttons->addWidget(CloseButton);
    return buttons;
}

void TCutForm::ConnectControls() {
    connect(DisplayTimer, &QTimer::timeout, this, &TCutForm::DisplayTimerTick);
    connect(Player, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error, const QString& text) {
        if (error == QMediaPlayer::NoError) return;
        qWarning("player: %s", qPrintable(text));
        CriticalError();
    });
    connect(Player, &QMediaPlayer::durationChanged, this, &TCutForm::LengthChanged);

    connect(PlayButton, &QToolButton::clicked, this, [this] { RunPlayerCommand([this] { PlayerPlay(); }); });
    connect(PauseButton, &QToolButton::clicked, this, [this] { RunPlayerCommand([this] { PlayerPauseOnly(); }); });
    connect(StepButton, &QToolButton::clicked, this, &TCutForm::PlayerStep);
    connect(RewindButton, &QToolButton::clicked, this, &TCutForm::PlayerRewind);

    connect(PositionSlider, &SelectionSlider::DragStarted, this, &TCutForm::SliderDragStarted);
    connect(PositionSlider, &SelectionSlider::DraggedTo, this, &TCutForm::SliderDraggedTo);
    connect(PositionSlider, &SelectionSlider::DragEnded, this, &TCutForm::SliderDragEnded);
    connect(VolumeSlider, &QSlider::valueChanged, this, &TCutForm::SetVolume);

    connect(SetStartButton, &QPushButton::clicked, this, [this] { SetStartMark(RoundMsToSeconds(Player->position())); });
    connect(SetEndButton, &QPushButton::clicked, this, [this] { SetEndMark(RoundMsToSeconds(Player->position())); });
    connect(StartUpDown, &UpDown::Up, this, [this] { SetStartMark(marks_.Start() + 1); });
    connect(StartUpDown, &UpDown::Down, this, [this] { SetStartMark(marks_.Start() - 1); });
    connect(EndUpDown, &UpDown::Up, this, [this] { SetEndMark(marks_.End() + 1); });
    connect(EndUpDown, &UpDown::Down, this, [this] { SetEndMark(marks_.End() - 1); });
    connect(GotoStartButton, &QPushButton::clicked, this, [this] { SeekAndPlay(marks_.Start()); });
    connect(GotoEndButton, &QPushButton::clicked, this, [this] { SeekAndPlay(marks_.End()); });
    connect(NextSelectionButton, &QPushButton::clicked, this, [this] {
        marks_.NextSelection();
        ShowMarks();
    });

    connect(OutputButton, &QToolButton::clicked, this, &TCutForm::ChooseOutput);
    connect(CutButton, &QPushButton::clicked, this, &TCutForm::Cut);
    connect(PlayOutputButton, &QPushButton::clicked, this, &TCutForm::PlayOutput);
    connect(DeleteOutputButton, &QPushButton::clicked, this, &TCutForm::DeleteOutput);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
}

bool TCutForm::Prepare(const QString& source) {
    source_ = source;
    const QUrl url = QUrl::fromLocalFile(source);
    if (Player->source() != url) {
        Player->stop();
        Player->setSource(QUrl());
        Player->setSource(url);
        // The player learns the length while it opens the file; the window needs it for the total.
        QElapsedTimer waited;
        waited.start();
        while (!failed_ && waited.elapsed() < kLoadWaitMs &&
               (Player->mediaStatus() == QMediaPlayer::LoadingMedia || Player->mediaStatus() == QMediaPlayer::NoMedia))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    if (failed_) return false;
    setWindowTitle(QStringLiteral("Asf分割器 - ") + source);
    const std::int64_t total = SplitTotalSeconds(Player->duration());
    marks_ = SplitMarks(total);
    PositionSlider->setMaximum(static_cast<int>(total));
    PositionSlider->setTickInterval(TickSeconds(total));
    SetStartMark(0);
    SetEndMark(total);
    ShowMarks();
    DisplayTimerTick();
    DisplayTimer->start();
    return true;
}

// Some demuxers refine the length once playback starts. While the marks still span the whole
// file, they follow the new total; marks the user has set stay as they are.
void TCutForm::LengthChanged(qint64 ms) {
    if (source_.isEmpty() || ms <= 0) return;
    const std::int64_t total = SplitTotalSeconds(ms);
    if (total == marks_.Total() || marks_.Start() != 0 || marks_.End() != marks_.Total()) return;
    marks_ = SplitMarks(total);
    PositionSlider->setMaximum(static_cast<int>(total));
    PositionSlider->setTickInterval(TickSeconds(total));
    ShowMarks();
}

void TCutForm::SetStartMark(std::int64_t v) {
    if (!marks_.SetStart(v)) return;
    PositionSlider->SetSelStart(static_cast<int>(v));
    StartEdit->setText(Clock(v));
}

void TCutForm::SetEndMark(std::int64_t v) {
    if (!marks_.SetEnd(v)) return;
    PositionSlider->SetSelEnd(static_cast<int>(v));
    EndEdit->setText(Clock(v));
}

void TCutForm::ShowMarks() {
    SetStartMark(marks_.Start());
    SetEndMark(marks_.End());
}

PlayerMode TCutForm::Mode() const {
    if (Player->error() != QMediaPlayer::NoError) return mpNotReady;
    switch (Player->mediaStatus()) {
        case QMediaPlayer::NoMedia:
        case QMediaPlayer::InvalidMedia: return mpNotReady;
        case QMediaPlayer::LoadingMedia: return mpOpen;
        case QMediaPlayer::StalledMedia:
        case QMediaPlayer::BufferingMedia:
            if (Player->playbackState() == QMediaPlayer::PlayingState) return mpSeeking;
            break;
        default: break;
    }
    switch (Player->playbackState()) {
        case QMediaPlayer::PlayingState: return mpPlaying;
        case QMediaPlayer::PausedState: return mpPaused;
        default: return mpStopped;
    }
}

void TCutForm::RefreshStatus() {
    if (PositionSlider->Dragging()) return;  // the panel says "Dragging" until the drag ends
    StatusPanel->setText(PlayerModeText(Mode()) + (seeking_ ? QStringLiteral(" (定位中)") : QString()));
}

void TCutForm::RunPlayerCommand(const std::function<void()>& command) {
    if (failed_) return;
    seeking_ = true;
    RefreshStatus();
    QCoreApplication::processEvents();
    command();
    seeking_ = false;
    RefreshStatus();
}

void TCutForm::PlayerPlay() { Player->play(); }
void TCutForm::PlayerPauseOnly() { Player->pause(); }

void TCutForm::PlayerPauseToggle() {
    if (Player->playbackState() == QMediaPlayer::PausedState) Player->play();
    else Player->pause();
}

// Back to the start of the file, showing its first picture.
void TCutForm::PlayerRewind() {
    if (failed_) return;
    Player->pause();
    Player->setPosition(0);
    RefreshStatus();
}

// A play followed at once by a pause does not move an asynchronous player; the step pauses
// and moves one frame on instead.
void TCutForm::PlayerStep() {
    if (Mode() == mpPlaying) RunPlayerCommand([this] { PlayerPauseToggle(); });
    const double fps = Player->metaData().value(QMediaMetaData::VideoFrameRate).toDouble();
    const qint64 step = fps > 0.5 ? static_cast<qint64>(std::lround(1000.0 / fps)) : kDefaultStepMs;
    RunPlayerCommand([this, step] {
        if (Player->playbackState() != QMediaPlayer::PausedState) Player->pause();
        Player->setPosition(std::min(Player->position() + step, std::max<qint64>(Player->duration(), 0)));
    });
}

void TCutForm::VideoPanelClick() {
    switch (Mode()) {
        case mpPaused: RunPlayerCommand([this] { PlayerPauseToggle(); }); break;
        case mpStopped: RunPlayerCommand([this] { PlayerPlay(); }); break;
        default: RunPlayerCommand([this] { PlayerPauseToggle(); }); break;
    }
}

void TCutForm::SeekAndPlay(std::int64_t seconds) {
    RunPlayerCommand([this] { PlayerPauseOnly(); });
    Player->setPosition(seconds * 1000);
    RunPlayerCommand([this] { PlayerPlay(); });
}

bool TCutForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == VideoPanel && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        VideoPanelClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TCutForm::CriticalError() {
    if (failed_ || closed_) return;  // once closed, what the stopping player reports is of no concern
    failed_ = true;
    DisplayTimer->stop();
    QMessageBox::critical(this, AppTitle(),
                          UiText("临界误差在 \"" + ToStd(source_) + "\"\r" + "请先修复此文件然后决定是否设置可定位标记.\r" +
                                 "您必须立即重启Mendery!"));
    if (isVisible()) reject();
}

int TCutForm::ReadVolume() const { return hasAudioDevice_ ? static_cast<int>(std::lround(Audio->volume() * 65535.0)) : 0; }

void TCutForm::SetVolume(int value) {
    if (hasAudioDevice_) Audio->setVolume(static_cast<float>(value) / 65535.0f);
}

void TCutForm::DisplayTimerTick() {
    RefreshStatus();
    if (!VolumeSlider->isSliderDown()) VolumeSlider->setValue(ReadVolume());
    const qint64 ms = Player->position();
    PositionSlider->setValue(static_cast<int>(ms / 1000));
    PositionPanel->setText(Clock(RoundMsToSeconds(ms)) + QStringLiteral(" / ") + Clock(marks_.Total()));
}

int TCutForm::SliderPositionAt(int x) const {
    if (x == 0) return PositionSlider->value();
    const int usable = PositionSlider->width() - 18;
    if (usable <= 0) return PositionSlider->value();
    const double range = PositionSlider->maximum() - PositionSlider->minimum();
    const long v = std::lround(range / usable * (x - 9));
    return static_cast<int>(std::clamp<long>(v, PositionSlider->minimum(), PositionSlider->maximum()));
}

void TCutForm::SliderDragStarted() { DisplayTimer->stop(); }

void TCutForm::SliderDraggedTo(int x) {
    StatusPanel->setText(QStringLiteral("Dragging"));
    PositionSlider->setValue(SliderPositionAt(x));
    PositionPanel->setText(QStringLiteral("Position:") + Clock(PositionSlider->value()));
}

void TCutForm::SliderDragEnded(int x) {
    PositionSlider->setValue(SliderPositionAt(x));
    SeekAndPlay(PositionSlider->value());
    if (!failed_) DisplayTimer->start();
}

bool TCutForm::Cut() {
    if (auto refusal = CutRangeRefusal(marks_.Start(), marks_.End(), marks_.Total())) {
        host_->Message(*refusal, MessageKind::Warning);
        return false;
    }
    const std::string source = ToStd(source_), output = ToStd(OutputEdit->text());
    // Writing over the file being cut would destroy it while clipwright reads it.
    if (output == source || IsSameFile(source, output)) {
        host_->Message("文件名称必须不同! 请换一个再试.", MessageKind::Warning);
        return false;
    }
    RunPlayerCommand([this] { PlayerPauseOnly(); });
    // Events run while clipwright works: no second cut, other output or deletion meanwhile.
    const QList<QWidget*> locked{CutButton, OutputButton, DeleteOutputButton, OutputGroup};
    for (auto* w : locked) w->setEnabled(false);
    // Closing the window while clipwright works stops it; it leaves no half-written output.
    const ToolRunner tool = DesktopToolRunner(*host_, this, ToStd(ToolPath), RunWording::SplitWindow, [this] { return closed_; });
    const bool written = RunSplitCut(*host_, tool, source, output, marks_, OutputGroup->ItemIndex() == 1);
    host_->CloseProgress();
    for (auto* w : locked) w->setEnabled(true);
    return written;
}

void TCutForm::ChooseOutput() {
    const SaveDialogTexts texts{QStringLiteral("输出文件"), QStringLiteral("流文件 (*.ASF *.WMV *.WMA *.asf *.wmv *.wma)"),
                              QStringLiteral("asf")};
    const QString path = AskSaveFileName(this, texts, OutputEdit->text());
    if (!path.isEmpty()) OutputEdit->setText(path);
}

void TCutForm::PlayOutput() { ShellOpen(this, OutputEdit->text()); }

void TCutForm::DeleteOutput() {
    const QString path = OutputEdit->text();
    if (QFile::remove(path)) host_->Message("文件已删除,\r" + ToStd(path), MessageKind::Information);
    else host_->Message("不能删除,\r" + ToStd(path), MessageKind::Warning);
}

void TCutForm::done(int result) {
    closed_ = true;
    DisplayTimer->stop();
    Player->stop();
    QDialog::done(result);
}

QString RunSplitWindow(QWidget* parent, const QString& source, SizeMatchMode mode) {
    {
        FlowHost host(parent);
        if (!SplitPrecheck(host, ToStd(source), mode)) return {};
    }
    TCutForm form(parent);
    form.OutputEdit->setText(ToQt(ToolOutputName(ToStd(source), OutputFor::Split)));
    if (form.Prepare(source)) form.exec();
    return form.OutputEdit->text();
}

}  // namespace mendery::ui
