#pragma once
// TMainForm: the main window. It owns the file list, the four tool groups, the list toolbar,
// the explorer panel, the options and sampler pages and the settings, and starts every tool on
// the file of the list's current row.
#include <QMainWindow>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "gui/model/FileList.h"
#include "launch/ProcessRunner.h"

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QListView;
class QSplitter;
class QTabWidget;
class QTableWidget;
class QToolButton;
class QTreeView;
class QVBoxLayout;

namespace mendery::ui {

class TFlagFixForm;
class RadioGroup;
class TSampleFrame;
class PageSplitter;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QStringList commandLineFiles = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The list.
    QString SelectedFile() const;
    bool RequireSelection();
    void AddFile(const QString& path);
    void AddFiles(const QStringList& paths);
    void ReorderList(int code);
    void PurgeMissing() { ReorderList(rcPurge); }
    void ClearList();
    void UpdateStatusBar();
    void SetBusy(bool idle);
    const FileRows& Rows() const { return list_; }
    void SetCurrentRow(int row);

    void LoadSettings();
    void SaveSettings();
    void CheckLibrary();
    bool CheckLibraryOnFirstShow = true;  // tests that are not about it switch it off
    void WritePlaylistTo(const QString& path);
    // The play-all playlist: beside the program when that folder is writable, else in the user's data folder.
    QString PlayAllPlaylistPath() const;

    // Explorer panel.
    void ShowExplorer(bool shown);
    void NavigateExplorer(const QString& folder);
    QString ExplorerFolder() const { return explorerFolder_; }

    // Tools reached from the commands (tests call them directly).
    void AdvancedRepairCommand();
    // The one-step rescue; without the cutting tool it runs without the basic repair step.
    void RescueCommand();
    void BasicRepairCommand();
    void JoinCommand();
    void SplitCommand();
    void FlagsCommand();
    // The file of the current row moved (the row follows) or copied (the copy is listed).
    void MoveCurrentTo(const QString& target);
    void CopyCurrentTo(const QString& target);
    TFlagFixForm* FlagFixForm() const { return flagFixForm_; }

    QTabWidget* Pages;
    QTableWidget* FileGrid;
    QLabel* StatusPanels[3];
    QTimer* PurgeTimer;
    QWidget* ExplorerPanel;
    QComboBox* FolderCombo;
    QTreeView* FolderTree;
    QListView* ExplorerList;
    static constexpr int kGroupCount = 4;
    QToolButton* GroupHeaders[kGroupCount];
    QWidget* GroupPanels[kGroupCount];
    RadioGroup* BasicOutputGroup;
    QCheckBox *ResyncBox, *NoKeyframeBox, *QuickHintBox, *StayOnTopBox, *JoinIncompatibleBox;
    RadioGroup* CutSizeWarnGroup;
    TSampleFrame* Sampler;
    QString AddDialogFolder;   // initial folder of the add-files dialog

    // Commands that run the external tool; disabled when it is missing.
    QToolButton *JoinButton, *SplitButton, *BasicRepairButton;
    // The tool basic repair and join run: clipwright beside the program unless set otherwise.
    QString ClipwrightProgram;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Command;
    static QToolButton* MakeCommand(QWidget* parent, const Command& command, Qt::ToolButtonStyle style);
    std::vector<std::vector<Command>> ToolGroupCommands();
    std::vector<Command> ListToolbarCommands();
    QWidget* BuildToolGroups();
    void AddToolGroup(QWidget* inner, QVBoxLayout* column, int group, const QString& caption, const std::vector<Command>& commands);
    QTabWidget* BuildPages(QWidget* central);
    void BuildStatusBar();
    QWidget* BuildFileListPage();
    QTableWidget* BuildFileGrid(QWidget* listArea);
    QHBoxLayout* BuildListToolbar(QWidget* listArea);
    QWidget* BuildExplorerPanel();
    QHBoxLayout* BuildFolderRow();
    QSplitter* BuildFolderViews();
    QWidget* BuildOptionsPage();
    QGroupBox* BuildBasicRepairOptions(QWidget* page);
    QGroupBox* BuildProgramOptions(QWidget* page);
    QGroupBox* BuildJoinOptions(QWidget* page);
    QGroupBox* BuildSplitOptions(QWidget* page);
    void SyncGrid();
    void SetGroupExpanded(int group, bool expanded);
    void RunTool(const std::function<QString(const QString&)>& entry, bool addsOutput);
    void MarkUnavailable(QToolButton* button);
    void ApplyExplorerSizes();

    // Commands.
    void AddCommand();
    void RemoveCommand();
    void ClearCommand();
    void PlaylistCommand();
    void AboutCommand();
    void MoveCommand();
    void CopyCommand();
    void RecycleCommand();
    void PlayCommand();
    void PlayAllCommand();
    void PageChanged(int index);
    QString AskTarget(const QString& title);
    // Moves or copies the current row's file to `target`, asking before an existing file is
    // replaced; false, after a warning, when that failed.
    bool TransferCurrentTo(const QString& target, bool (*transfer)(const QString&, const QString&), const QString& failure);
    QString AskSavePath(const QString& title, const QString& proposed);
    // Runs a flow of clipwright with the window's host and the progress window of the tool;
    // the file it returns is added to the list.
    void RunClipwrightFlow(const std::function<std::optional<std::string>(IHost&, const ToolRunner&)>& flow);

    FileRows list_;
    QStringList commandLineFiles_;
    bool settingsOpened_ = false;
    bool shownOnce_ = false;
    // The explorer panel's height and folder tree's width: loaded, applied after the first
    // layout, kept while the panel is hidden, saved.
    int explorerHeight_ = 200, treeWidth_ = 150;
    bool explorerSizesPending_ = false;
    QString explorerFolder_;
    QFileSystemModel *dirsModel_, *filesModel_;
    PageSplitter* pageSplitter_;
    QSplitter* explorerSplitter_;
    QToolButton* explorerToggle_;
    TFlagFixForm* flagFixForm_ = nullptr;
    bool closing_ = false;  // the window was closed (a running flow stops)
};

}  // namespace mendery::ui
