#include "gui/convert/MediaEncoderPanel.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGridLayout>
#include <QThread>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include "gui/kit/QtHost.h"
#include "gui/kit/RunGuarded.h"
#include "gui/kit/StagedRun.h"
#include "gui/kit/Text.h"
#include "gui/kit/Widgets.h"
#include "convert/SessionFile.h"
#include "asf/BinaryFile.h"

namespace mendery::ui {

namespace {
QLabel* Value(QWidget* parent, const char* name, bool panel = false) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    if (panel) {
        l->setFrameShape(QFrame::StyledPanel);
        l->setFrameShadow(QFrame::Sunken);
        l->setMinimumWidth(200);
    }
    return l;
}
QSlider* Track(QWidget* parent, const char* name, TMediaEncoder::Range range) {
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(range.min, range.max);
    s->setMinimumWidth(160);
    return s;
}
}  // namespace

MediaEncoderPanel::MediaEncoderPanel(QWidget* parent)
    : ToolFrame({QStringLiteral("Edit1"), QStringLiteral("编码文件:"),
                  {QStringLiteral("输出文件"), QStringLiteral("流文件 (*.asf *.wmv *.wma)"), QStringLiteral("asf")}},
                 parent),
      engine_(std::make_unique<TMediaEncoder>(Host())) {
    setObjectName(QStringLiteral("MediaEncoder"));
    // The same rule as the command line: the program's folder, else the user's data folder.
    engine_->SessionFolder = SessionFolderFor(RunningProgramFolder());
    EncoderFolder = ToQt(RunningProgramFolder());
    engine_->CreateEncoder = [this] { return CreateEncoder(); };
    CounterLabel->setObjectName(QStringLiteral("Label4"));  // the counter panel shows the position
    CounterLabel->parentWidget()->setToolTip(QStringLiteral("编码文件的位置"));
    CounterLabel->parentWidget()->setMinimumWidth(180);
    ProgressBar->setToolTip(QStringLiteral("在源文件中处理"));

    auto* encoder = BuildEncoderGroup();
    auto* source = BuildSourceGroup();
    auto* options = BuildOptionsGroup();
    auto* top = new QHBoxLayout;
    top->addWidget(encoder);
    top->addWidget(source, 1);
    Options()->addLayout(top);
    Options()->addWidget(options);
    ConnectControls();
    ShowControls();
}

QWidget* MediaEncoderPanel::BuildEncoderGroup() {
    auto* encoder = new QGroupBox(QStringLiteral("编码器"), this);
    auto* eg = new QGridLayout(encoder);
    EncoderStateLabel = Value(encoder, "Label3");
    RemainingTimeLabel = Value(encoder, "Label1");
    EstimatedSizeLabel = Value(encoder, "Label25");
    eg->addWidget(new QLabel(QStringLiteral("状态:"), encoder), 0, 0);
    eg->addWidget(EncoderStateLabel, 0, 1);
    eg->addWidget(new QLabel(QStringLiteral("剩余时间:"), encoder), 1, 0);
    eg->addWidget(RemainingTimeLabel, 1, 1);
    eg->addWidget(new QLabel(QStringLiteral("估计大小:"), encoder), 2, 0);
    eg->addWidget(EstimatedSizeLabel, 2, 1);
    eg->setRowStretch(3, 1);
    return encoder;
}

QWidget* MediaEncoderPanel::BuildSourceGroup() {
    auto* source = new QGroupBox(QStringLiteral("源文件"), this);
    auto* sg = new QGridLayout(source);
    SourceSizeLabel = Value(source, "Label22");
    SourceLengthLabel = Value(source, "Label29");
    ChannelsLabel = Value(source, "Label15");
    SampleRateLabel = Value(source, "Label16");
    VideoCodecLabel = Value(source, "Label10");
    FrameSizeLabel = Value(source, "Label9");
    sg->addWidget(new QLabel(QStringLiteral("大小: "), source), 0, 0);
    sg->addWidget(SourceSizeLabel, 0, 1);
    sg->addWidget(new QLabel(QStringLiteral("影片长度:"), source), 0, 2);
    sg->addWidget(SourceLengthLabel, 0, 3);
    sg->addWidget(new QLabel(QStringLiteral("<b>音频</b>"), source), 1, 0, 1, 2);
    sg->addWidget(new QLabel(QStringLiteral("<b>视频</b>"), source), 1, 2, 1, 2);
    sg->addWidget(new QLabel(QStringLiteral("通道:"), source), 2, 0);
    sg->addWidget(ChannelsLabel, 2, 1);
    sg->addWidget(new QLabel(QStringLiteral("比较"), source), 2, 2);
    sg->addWidget(VideoCodecLabel, 2, 3);
    sg->addWidget(new QLabel(QStringLiteral("样本速率:"), source), 3, 0);
    sg->addWidget(SampleRateLabel, 3, 1);
    sg->addWidget(new QLabel(QStringLiteral("查找"), source), 3, 2);
    sg->addWidget(FrameSizeLabel, 3, 3);
    return source;
}

QWidget* MediaEncoderPanel::BuildOptionsGroup() {
    auto* options = new QGroupBox(QStringLiteral("编码选项"), this);
    options->setToolTip(QStringLiteral("不同的编码选项。大多数情况下，你可以选择默认值作为初始值"));
    auto* og = new QGridLayout(options);
    AudioBitrateTrack = Track(options, "TrackBar1", TMediaEncoder::kAudioRowRange);
    VideoBitrateTrack = Track(options, "TrackBar2", TMediaEncoder::kVideoPercentRange);
    QualityTrack = Track(options, "TrackBar3", TMediaEncoder::kQualityRange);
    FrameRateTrack = Track(options, "TrackBar4", TMediaEncoder::kFrameRateRange);
    AudioFormatPanel = Value(options, "Panel9", true);
    VideoBitratePanel = Value(options, "Panel10", true);
    QualityPanel = Value(options, "Panel11", true);
    FrameRatePanel = Value(options, "Panel12", true);
    TotalBitratePanel = Value(options, "Panel13", true);
    og->addWidget(new QLabel(QStringLiteral("音频比特率:"), options), 0, 0);
    og->addWidget(AudioBitrateTrack, 0, 1, 1, 3);
    og->addWidget(AudioFormatPanel, 0, 4);
    og->addWidget(new QLabel(QStringLiteral("视频比特率:"), options), 1, 0);
    og->addWidget(VideoBitrateTrack, 1, 1, 1, 3);
    og->addWidget(VideoBitratePanel, 1, 4);
    og->addWidget(new QLabel(QStringLiteral("全部比特率:"), options), 2, 0);
    og->addWidget(TotalBitratePanel, 2, 4);
    og->addWidget(new QLabel(QStringLiteral("平均视频帧率:"), options), 3, 0);
    og->addWidget(FrameRateTrack, 3, 1, 1, 3);
    og->addWidget(FrameRatePanel, 3, 4);
    og->addWidget(new QLabel(QStringLiteral("图像质量: "), options), 4, 0);
    og->addWidget(new QLabel(QStringLiteral("更平滑的活动影像"), options), 4, 1);
    og->addWidget(QualityTrack, 4, 2);
    og->addWidget(new QLabel(QStringLiteral("更清晰的图像"), options), 4, 3);
    og->addWidget(QualityPanel, 4, 4);
    og->setColumnStretch(2, 1);
    return options;
}

void MediaEncoderPanel::ConnectControls() {
    connect(AudioBitrateTrack, &QSlider::valueChanged, this, [this](int p) { if (!showing_) engine_->SetAudioRow(p); });
    connect(VideoBitrateTrack, &QSlider::valueChanged, this, [this](int p) { if (!showing_) engine_->SetVideoPercent(p); });
    connect(QualityTrack, &QSlider::valueChanged, this, [this](int p) { if (!showing_) engine_->SetQuality(p); });
    connect(FrameRateTrack, &QSlider::valueChanged, this, [this](int p) { if (!showing_) engine_->SetFrameRate(p); });

    PollTimer = new QTimer(this);
    PollTimer->setObjectName(QStringLiteral("Timer1"));
    PollTimer->setInterval(TMediaEncoder::kTimerIntervalMs);
    connect(PollTimer, &QTimer::timeout, this, [this] {
        engine_->Timer1Timer();
        if (staged_ && !Encoding()) SettleOutput();
    });

    startButton_.OnCaptionChange = [this](const std::string& caption) {
        if (runButton_) runButton_->setText(ToQt(caption));
    };
    engine_->OnControlsChanged = [this] { ShowControls(); };
}

MediaEncoderPanel::~MediaEncoderPanel() {
    PollTimer->stop();
    engine_->OnControlsChanged = nullptr;
    startButton_.OnCaptionChange = nullptr;
}

void MediaEncoderPanel::SetOutput(const QString& path) {
    ToolFrame::SetOutput(path);
    engine_->SetEdit1(ToStd(path));
}

std::unique_ptr<IMediaEncoderEngine> MediaEncoderPanel::CreateEncoder() {
    // The message of a missing encoder names the Windows component; say what is missing here.
    const QString plugin = QDir(EncoderFolder).filePath(QString::fromLatin1(kEncoderPluginName));
    std::string why;
    if (!QFileInfo(plugin).isFile()) {
        why = "此系统上缺少的是编码器插件 " + std::string(kEncoderPluginName) + " (已在 " + ToStd(EncoderFolder) +
              " 中查找).";
    } else if (auto engine = LoadEncoderEngine(&why)) {
        return engine;
    } else {
        why = "编码器插件 " + ToStd(plugin) + " 不能加载: " + why;
    }
    Host().Log(why);
    Host().AddNoteToNextMessage(why);
    return nullptr;
}

void MediaEncoderPanel::Run() {
    if (Encoding()) Stop();
    else Start();
}

void MediaEncoderPanel::Start() {
    if (!sourceRead_) {
        // Without the source's facts there is nothing to encode with (no bitrate, no size);
        // the log already says why they could not be read.
        Host().Message("不能读取源文件信息, 无法开始编码.", MessageKind::Warning);
        return;
    }
    const QString target = OutFileName;
    if (FileName.isEmpty() || target.isEmpty()) return;
    if (const std::string refusal = OutputRefusalLine(ToStd(FileName), ToStd(target)); !refusal.empty()) {
        Host().Log(refusal);
        Host().Message(refusal, MessageKind::Warning);
        return;
    }
    targetExisted_ = QFileInfo::exists(target);
    staged_ = std::make_unique<StagedOutput>(ToStd(target));  // an unwritable folder throws
    startFailed_ = stopRequested_ = false;
    lastRunEnd_ = RunEnd::Nothing;
    engine_->SetEdit1(staged_->TempPath());  // the encoder writes the staged file; the edit box shows the output
    try {
        engine_->StartStop();
    } catch (...) {
        // Load, PrepareToEncode or Start failed: the encoder never ran. End the run now rather
        // than on the next tick, so the button and the output are settled before the message.
        startFailed_ = true;
        if (Encoding()) engine_->Timer1Timer();
        SettleOutput();
        throw;
    }
    if (!Encoding()) SettleOutput();  // no encoder: nothing was started
}

void MediaEncoderPanel::Stop() {
    stopRequested_ = true;
    engine_->StartStop();
}

void MediaEncoderPanel::SettleOutput() {
    if (!staged_) return;
    const std::unique_ptr<StagedOutput> staged = std::move(staged_);
    const IMediaEncoderEngine* encoder = engine_->Encoder();
    const bool wroteMedia = !startFailed_ && encoder && encoder->LastError().empty() &&
                            encoder->Statistics().FileArchiveStats.FileDuration > 0;
    lastRunEnd_ = !wroteMedia ? RunEnd::Nothing : stopRequested_ ? RunEnd::Partial : RunEnd::Done;
    engine_->SetEdit1(staged->Target());
    RunGuarded(this, FileName, [&] { SettleStagedOutput(Host(), *staged, lastRunEnd_, targetExisted_); });
    if (!staged->Committed()) lastRunEnd_ = RunEnd::Nothing;
    Host().Flush();
}

void MediaEncoderPanel::StopEncoding() {
    if (!engine_->Controls().PollTimerEnabled) return;
    stopRequested_ = true;
    engine_->StartStop();
    QElapsedTimer waited;
    waited.start();
    while (engine_->Controls().PollTimerEnabled && waited.elapsed() < 15000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
    }
    if (staged_ && !Encoding()) SettleOutput();
}

void MediaEncoderPanel::Prepare() {
    engine_->FileName = ToStd(FileName);
    engine_->OutFileName = ToStd(OutFileName);
    engine_->SetEdit1(ToStd(OutFileName));
    if (runButton_) startButton_.SetCaption(ToStd(runButton_->text()));
    sourceRead_ = engine_->Prepare(&startButton_);
    ShowControls();
    Host().Flush();
}

void MediaEncoderPanel::ShowControls() {
    const auto& c = engine_->Controls();
    showing_ = true;
    // While an encode writes its staged file, the edit box keeps showing the output.
    if (!staged_ && OutputEdit->text() != ToQt(c.OutputPath)) {
        OutputEdit->setText(ToQt(c.OutputPath));
        OutFileName = ToQt(c.OutputPath);
    }
    EncoderStateLabel->setText(ToQt(c.EncoderState));
    RemainingTimeLabel->setText(ToQt(c.RemainingTime));
    EstimatedSizeLabel->setText(ToQt(c.OutputSize));
    SourceSizeLabel->setText(ToQt(c.SourceSize));
    SourceLengthLabel->setText(ToQt(c.SourceLength));
    ChannelsLabel->setText(ToQt(c.SourceChannels));
    SampleRateLabel->setText(ToQt(c.SourceSampleRate));
    VideoCodecLabel->setText(ToQt(c.SourceFourCC));
    FrameSizeLabel->setText(ToQt(c.PictureSize));
    AudioBitrateTrack->setValue(c.AudioRowBar);
    VideoBitrateTrack->setValue(c.VideoPercentBar);
    QualityTrack->setValue(c.QualityBar);
    FrameRateTrack->setValue(c.FrameRateBar);
    AudioFormatPanel->setText(ToQt(c.AudioFormatPanel));
    VideoBitratePanel->setText(ToQt(c.VideoBitratePanel));
    QualityPanel->setText(ToQt(c.QualityPanel));
    FrameRatePanel->setText(ToQt(c.FrameRatePanel));
    TotalBitratePanel->setText(ToQt(c.TotalBitratePanel));
    CounterLabel->setText(ToQt(c.PositionText));
    OutputButton->setEnabled(!c.PollTimerEnabled);  // the output stays put while it is written
    if (c.PollTimerEnabled && !PollTimer->isActive()) PollTimer->start();
    if (!c.PollTimerEnabled && PollTimer->isActive()) PollTimer->stop();
    showing_ = false;
    Host().Flush();
}

}  // namespace mendery::ui
