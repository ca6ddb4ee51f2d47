#pragma once
// The split window: plays a file, lets the user mark a start and an end in whole seconds and
// has clipwright write the marked piece (or everything but it) into a new file. The checks,
// mark rules and command lines are the logic unit SplitPrecheck; this is the window around
// them and the player.
#include <QDialog>
#include <QString>
#include <functional>
#include <memory>

#include "launch/SplitPrecheck.h"

class QAudioOutput;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMediaPlayer;
class QPushButton;
class QSlider;
class QTimer;
class QToolButton;
class QVideoWidget;

namespace mendery::ui {

class FlowHost;
class RadioGroup;
class SelectionSlider;
class UpDown;

// The player's modes, as the status panel names them.
enum PlayerMode { mpNotReady, mpStopped, mpPlaying, mpRecording, mpSeeking, mpPaused, mpOpen };
QString PlayerModeText(PlayerMode mode);

class TCutForm : public QDialog {
    Q_OBJECT
public:
    explicit TCutForm(QWidget* parent = nullptr);
    ~TCutForm() override;

    // Opens the file in the player (unless it holds it already), waits until its length is
    // known, sets the title, the total and the marks 0..total, and starts the display timer.
    // False when the player failed on the file (the critical error has been shown).
    bool Prepare(const QString& source);

    QString SourcePath() const { return source_; }
    const SplitMarks& Marks() const { return marks_; }
    bool Seeking() const { return seeking_; }
    PlayerMode Mode() const;

    // The mark rules: a value outside 0..total changes nothing.
    void SetStartMark(std::int64_t v);
    void SetEndMark(std::int64_t v);

    // "分割": returns whether the cut was written.
    bool Cut();
    // Seeks to s seconds and plays.
    void SeekAndPlay(std::int64_t seconds);
    // Where a drag over the position slider at pixel x puts it; x = 0 keeps the position.
    int SliderPositionAt(int x) const;

    // The cutting tool; clipwright beside the program unless set otherwise.
    QString ToolPath;

    QVideoWidget* VideoPanel;
    QToolButton *PlayButton, *PauseButton, *StepButton, *RewindButton;
    SelectionSlider* PositionSlider;
    QLabel *PositionPanel, *StatusPanel;
    QSlider* VolumeSlider;
    QPushButton *SetStartButton, *SetEndButton, *GotoStartButton, *GotoEndButton, *NextSelectionButton;
    QLineEdit *StartEdit, *EndEdit;
    UpDown *StartUpDown, *EndUpDown;
    RadioGroup* OutputGroup;
    QLineEdit* OutputEdit;
    QToolButton* OutputButton;
    QPushButton *CutButton, *PlayOutputButton, *DeleteOutputButton, *CloseButton;
    QTimer* DisplayTimer;
    QMediaPlayer* Player;
    QAudioOutput* Audio;
    bool HasAudioDevice() const { return hasAudioDevice_; }

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    QWidget* BuildVideoPanel();
    QHBoxLayout* BuildTransportRow();
    QHBoxLayout* BuildPanelsRow();
    QHBoxLayout* BuildMarksRow();
    QHBoxLayout* BuildButtonsRow();
    void ConnectControls();

    // Player commands: the seeking flag is set and shown while one runs.
    void RunPlayerCommand(const std::function<void()>& command);
    void PlayerPlay();
    void PlayerPauseOnly();
    void PlayerPauseToggle();
    void PlayerRewind();
    void PlayerStep();
    void VideoPanelClick();
    void CriticalError();

    void RefreshStatus();
    void DisplayTimerTick();
    int ReadVolume() const;
    void SetVolume(int value);
    void ShowMarks();
    void LengthChanged(qint64 ms);

    void SliderDragStarted();
    void SliderDraggedTo(int x);
    void SliderDragEnded(int x);

    void ChooseOutput();
    void PlayOutput();
    void DeleteOutput();

    std::unique_ptr<FlowHost> host_;
    QString source_;
    SplitMarks marks_;
    bool seeking_ = false;
    bool failed_ = false;
    bool closed_ = false;
    bool hasAudioDevice_ = false;
};

// The split command: runs the precheck (with the size-match mode of the options page), shows
// the window modally on the file and returns the output path for the list (the caller adds it
// when the file exists); an empty text when the precheck refused the file.
QString RunSplitWindow(QWidget* parent, const QString& source, SizeMatchMode mode);

}  // namespace mendery::ui
