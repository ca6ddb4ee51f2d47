#include "gui/main_window/MainForm.h"
#include "gui/main_window/PageSplitter.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeView>
#include <QToolButton>

#include "gui/main_window/AboutForm.h"
#include "gui/repair/BxAdvRepair.h"
#include "gui/cut/CutForm.h"
#include "launch/BasicRepair.h"
#include "launch/LibraryCheck.h"
#include "gui/kit/FlowHost.h"
#include "gui/kit/OutputRow.h"
#include "gui/kit/Text.h"
#include "gui/kit/ToolRunForm.h"
#include "gui/kit/ToolDialog.h"
#include "gui/main_window/ToolDialogs.h"
#include "gui/repair/FlagFixForm.h"
#include "gui/repair/RescueDialog.h"
#include "gui/kit/QtHost.h"
#include "gui/kit/RadioGroup.h"
#include "gui/kit/Widgets.h"
#include "asf/BinaryFile.h"
#include "asf/Format.h"
#include "gui/recovery/SampleFrame.h"

namespace mendery::ui {

namespace {

const char* const kOrganisation = "Mendery";
const char* const kApplication = "Mendery310";
const char* const kEmptyListMessage = "文件列表为空!\r使用 \"添加\" 键或从Windows资源管理器中拖放文件.";

// The filter of the dialogs that ask where a tool writes an ASF file.
const QString kStreamFilter = QStringLiteral("流文件(*.asf;*.wmv;*.wma) (*.asf *.ASF *.wmv *.WMV *.wma *.WMA)");


int ReadInt(QSettings& s, const char* key, int fallback) {
    bool ok = false;
    const int v = s.value(QLatin1String(key)).toString().toInt(&ok);
    return ok ? v : fallback;
}
bool ReadBool(QSettings& s, const char* key, bool fallback) {
    if (!s.contains(QLatin1String(key))) return fallback;
    bool ok = false;
    const int v = s.value(QLatin1String(key)).toString().toInt(&ok);
    return ok ? v != 0 : fallback;
}
void WriteInt(QSettings& s, const char* key, int v) { s.setValue(QLatin1String(key), QString::number(v)); }
void WriteBool(QSettings& s, const char* key, bool v) { s.setValue(QLatin1String(key), v ? QStringLiteral("1") : QStringLiteral("0")); }

}  // namespace

TMainForm::TMainForm(QStringList commandLineFiles, QWidget* parent)
    : QMainWindow(parent), ClipwrightProgram(ToQt(ClipwrightPath())), commandLineFiles_(std::move(commandLineFiles)) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Mendery v3.1 - ASF/WMV/WMA 修复工具箱"));
    setMinimumSize(544, 374);
    resize(900, 640);
    setAcceptDrops(true);

    auto* central = new QWidget(this);
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(4, 4, 4, 4);
    row->addWidget(BuildToolGroups());
    row->addWidget(BuildPages(central), 1);
    setCentralWidget(central);
    BuildStatusBar();

    PurgeTimer = new QTimer(this);
    PurgeTimer->setObjectName(QStringLiteral("PurgeTimer"));
    PurgeTimer->setInterval(2000);
    connect(PurgeTimer, &QTimer::timeout, this, &TMainForm::PurgeMissing);
    PurgeTimer->start();
    SyncGrid();
}

TMainForm::~TMainForm() {
    if (settingsOpened_) SaveSettings();
}

// ---------------------------------------------------------------- list

void TMainForm::SyncGrid() {
    QSignalBlocker block(FileGrid);
    FileGrid->setRowCount(static_cast<int>(list_.rows.size()));
    for (int r = 0; r < FileGrid->rowCount(); ++r) {
        auto* item = FileGrid->item(r, 0);
        if (!item) {
            item = new QTableWidgetItem;
            FileGrid->setItem(r, 0, item);
        }
        item->setText(ToQt(list_.rows[r]));
    }
    FileGrid->setCurrentCell(list_.current, 0);
    UpdateStatusBar();
}

void TMainForm::SetCurrentRow(int row) {
    if (row < 0 || row >= static_cast<int>(list_.rows.size())) return;
    list_.current = row;
    SyncGrid();
}

QString TMainForm::SelectedFile() const { return ToQt(list_.Selected()); }

bool TMainForm::RequireSelection() {
    if (Pages->currentIndex() != 0) {
        Pages->setCurrentIndex(0);
        return false;
    }
    if (list_.Empty()) {
        QMessageBox::information(this, AppTitle(), UiText(kEmptyListMessage));
        return false;
    }
    return !SelectedFile().isEmpty();
}

void TMainForm::AddFile(const QString& path) {
    if (list_.Add(ToStd(path))) SyncGrid();
}

void TMainForm::AddFiles(const QStringList& paths) {
    std::vector<std::string> all;
    for (const auto& p : paths) all.push_back(ToStd(p));
    list_.AddAll(all);
    SyncGrid();
}

void TMainForm::ReorderList(int code) {
    const auto before = list_.rows;
    const int current = list_.current;
    mendery::ReorderList(
        list_, code, [](const std::string& p) { return FileExists(p); },
        [](const std::string& a, const std::string& b) {
            return QString::localeAwareCompare(ToQt(a).toLower(), ToQt(b).toLower()) < 0;
        });
    if (list_.rows != before || list_.current != current) SyncGrid();
}

void TMainForm::ClearList() {
    list_.Clear();
    SyncGrid();
}

void TMainForm::UpdateStatusBar() {
    const QString file = SelectedFile();
    if (file.isEmpty()) {
        for (auto* p : StatusPanels) p->clear();
        return;
    }
    StatusPanels[0]->setText(QString::number(list_.rows.size()) + QStringLiteral(" 文件"));
    StatusPanels[1]->setText(QStringLiteral("文件大小: ") + ToQt(FormatSize(FileSizeOf(ToStd(file)))));
    StatusPanels[2]->setText(QFileInfo(file).fileName());
}

void TMainForm::SetBusy(bool idle) {
    if (idle) PurgeTimer->start();
    else PurgeTimer->stop();
    FolderCombo->setEnabled(idle);
    FolderTree->setEnabled(idle);
    ExplorerList->setEnabled(idle);
    if (idle && ExplorerPanel->isVisible()) NavigateExplorer(explorerFolder_);
}

// ---------------------------------------------------------------- explorer

void TMainForm::ShowExplorer(bool shown) {
    if (explorerToggle_->isChecked() != shown) explorerToggle_->setChecked(shown);
    ExplorerPanel->setVisible(shown);
    // A panel hidden since the start gets its saved sizes once it has been laid out.
    if (shown && explorerSizesPending_) QTimer::singleShot(0, this, [this] { ApplyExplorerSizes(); });
    if (shown && QDir::isAbsolutePath(AddDialogFolder) && QFileInfo(AddDialogFolder).isDir())
        NavigateExplorer(AddDialogFolder);
}

void TMainForm::NavigateExplorer(const QString& folder) {
    if (!QFileInfo(folder).isDir()) return;
    explorerFolder_ = QDir(folder).absolutePath();
    const QModelIndex dirIndex = dirsModel_->index(explorerFolder_);
    FolderTree->setCurrentIndex(dirIndex);
    FolderTree->scrollTo(dirIndex);
    ExplorerList->setRootIndex(filesModel_->setRootPath(explorerFolder_));
    AddDialogFolder = explorerFolder_;
    // The combo box lists the folder, its parents, and the usual starting places.
    QSignalBlocker block(FolderCombo);
    FolderCombo->clear();
    QDir dir(explorerFolder_);
    QStringList chain{dir.absolutePath()};
    while (dir.cdUp()) chain << dir.absolutePath();
    for (const auto& p : chain) FolderCombo->addItem(QApplication::style()->standardIcon(QStyle::SP_DirIcon), p, p);
    for (const auto& p : {QStandardPaths::writableLocation(QStandardPaths::DesktopLocation), QDir::homePath()})
        if (!chain.contains(p) && QFileInfo(p).isDir()) FolderCombo->addItem(QApplication::style()->standardIcon(QStyle::SP_DirHomeIcon), p, p);
    FolderCombo->setCurrentIndex(0);
}

// ---------------------------------------------------------------- settings

void TMainForm::LoadSettings() {
    QSettings s{QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication)};
    settingsOpened_ = true;
    const bool firstRun = ReadInt(s, "MainWidth", -1) == -1;
    bool explorer = true;
    bool groups[kGroupCount] = {true, false, false, false};
    if (firstRun) {
        const QRect desk = screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 768);
        // Centred; a window larger than the screen keeps its title bar on it.
        move(desk.left() + std::max(0, (desk.width() - width()) / 2), desk.top() + std::max(0, (desk.height() - height()) / 2));
    } else {
        // Position and size of the window's inside, as SaveSettings took them: a window
        // manager's frame then adds nothing from one start to the next.
        setGeometry(ReadInt(s, "MainLeft", 0), ReadInt(s, "MainTop", 0),
                    std::max(ReadInt(s, "MainWidth", 10), minimumWidth()), std::max(ReadInt(s, "MainHeight", 10), minimumHeight()));
        explorer = ReadBool(s, "ExplorerView", true);
        const char* keys[kGroupCount] = {"ViewGroup1", "ViewGroup2", "ViewGroup3", "ViewGroup4"};
        for (int g = 0; g < kGroupCount; ++g) groups[g] = ReadBool(s, keys[g], g == 0);
        QuickHintBox->setChecked(ReadBool(s, "QuickHint", false));
        CutSizeWarnGroup->ShowItemIndex(std::clamp(ReadInt(s, "CutSizeWarn", 1), 0, 2));
        const QString last = s.value(QStringLiteral("LastPath")).toString();
        if (!last.isEmpty()) AddDialogFolder = last;
        explorerHeight_ = ReadInt(s, "ExplorerHeight", 200);
        treeWidth_ = ReadInt(s, "ExplorerTreeWidth", 150);
    }
    // The splitters get their sizes once the window is shown and laid out: sizes set on a
    // hidden window are scaled by its first real layout.
    explorerSizesPending_ = true;
    ShowExplorer(explorer);
    ApplyExplorerSizes();
    for (int g = 0; g < kGroupCount; ++g) SetGroupExpanded(g, groups[g]);
    for (const auto& f : commandLineFiles_)
        if (QFileInfo(f).isFile()) AddFile(QFileInfo(f).absoluteFilePath());
}

void TMainForm::ApplyExplorerSizes() {
    if (!explorerSizesPending_ || !shownOnce_ || ExplorerPanel->isHidden()) return;
    explorerSizesPending_ = false;
    const int page = pageSplitter_->height(), handle = pageSplitter_->handleWidth();
    pageSplitter_->panelHeight = explorerHeight_;
    pageSplitter_->pageHeight = page;
    pageSplitter_->setSizes({explorerHeight_, std::max(0, page - explorerHeight_ - handle)});
    explorerSplitter_->setSizes({treeWidth_, std::max(0, explorerSplitter_->width() - treeWidth_ - explorerSplitter_->handleWidth())});
}

void TMainForm::SaveSettings() {
    // A window that never appeared has no layout of its own: the settings stay as they were.
    if (!shownOnce_) return;
    if (!explorerSizesPending_) {
        explorerHeight_ = pageSplitter_->panelHeight > 0 ? pageSplitter_->panelHeight : explorerHeight_;
        if (!ExplorerPanel->isHidden()) treeWidth_ = explorerSplitter_->sizes().value(0);
    }
    QSettings s{QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication)};
    const bool explorer = explorerToggle_->isChecked();
    WriteBool(s, "ExplorerView", explorer);
    s.setValue(QStringLiteral("LastPath"), explorer ? explorerFolder_ : AddDialogFolder);
    const char* keys[kGroupCount] = {"ViewGroup1", "ViewGroup2", "ViewGroup3", "ViewGroup4"};
    for (int g = 0; g < kGroupCount; ++g) WriteBool(s, keys[g], GroupHeaders[g]->isChecked());
    WriteBool(s, "QuickHint", QuickHintBox->isChecked());
    WriteInt(s, "CutSizeWarn", CutSizeWarnGroup->ItemIndex());
    const QRect inside = geometry();  // without the frame, as LoadSettings applies it
    WriteInt(s, "MainWidth", inside.width());
    WriteInt(s, "MainHeight", inside.height());
    WriteInt(s, "MainTop", inside.top());
    WriteInt(s, "MainLeft", inside.left());
    WriteInt(s, "ExplorerHeight", explorerHeight_);
    WriteInt(s, "ExplorerTreeWidth", treeWidth_);
    s.sync();
}

// ---------------------------------------------------------------- start-up

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        ApplyExplorerSizes();
        if (CheckLibraryOnFirstShow) QTimer::singleShot(0, this, &TMainForm::CheckLibrary);
    }
}

void TMainForm::CheckLibrary() {
    if (ClipwrightAvailable()) return;
    // The warning names the Windows component; on this system what is missing is clipwright.
    const std::string missing = "此系统上缺少的是 clipwright 程序 (已在 " + RunningProgramFolder() + " 及 PATH 的各个目录中查找).";
    QMessageBox::warning(this, AppTitle(), UiText(MissingLibraryWarning() + "\r" + missing));
    for (auto* b : {JoinButton, SplitButton, BasicRepairButton}) b->setEnabled(false);
}

// ---------------------------------------------------------------- commands

void TMainForm::AddCommand() {
    if (Pages->currentIndex() != 0) {
        Pages->setCurrentIndex(0);
        return;
    }
    const QStringList files = QFileDialog::getOpenFileNames(this, QString(), AddDialogFolder,
                                                            QStringLiteral("流文件(*.asf;*.wmv,*.wma) (*.asf *.ASF *.wmv *.WMV *.wma *.WMA)"));
    if (files.isEmpty()) return;
    AddDialogFolder = QFileInfo(files.first()).absolutePath();
    AddFiles(files);
}

void TMainForm::RemoveCommand() {
    if (!RequireSelection()) return;
    if (FileGrid->rowCount() == 1) ClearList();
    else {
        ReorderList(rcDelete);
        UpdateStatusBar();
    }
}

void TMainForm::ClearCommand() {
    if (Pages->currentIndex() != 0) {
        Pages->setCurrentIndex(0);
        return;
    }
    ClearList();
}

void TMainForm::RunTool(const std::function<QString(const QString&)>& entry, bool addsOutput) {
    if (!RequireSelection()) return;
    const QString source = SelectedFile();
    SetBusy(false);
    QString output;
    // An error out of a tool window ("错误在 ...") ends only that command; the output is
    // still added when it exists.
    RunGuarded(this, source, [&] { output = entry(source); });
    SetBusy(true);
    if (addsOutput && !output.isEmpty() && QFileInfo(output).isFile()) AddFile(output);
}

void TMainForm::AdvancedRepairCommand() {
    RunTool([this](const QString& s) { return AdvancedRepair(this, s); }, true);
}

void TMainForm::RescueCommand() {
    const QString clipwright = BasicRepairButton->isEnabled() ? ClipwrightProgram : QString();
    RunTool([this, clipwright](const QString& s) { return RescueFile(this, s, clipwright); }, true);
}

void TMainForm::SplitCommand() {
    const auto mode = static_cast<SizeMatchMode>(CutSizeWarnGroup->ItemIndex());
    RunTool([this, mode](const QString& s) { return RunSplitWindow(this, s, mode); }, true);
}

void TMainForm::FlagsCommand() {
    if (!RequireSelection()) return;
    if (!flagFixForm_) flagFixForm_ = new TFlagFixForm(this);
    flagFixForm_->FixFlags(SelectedFile());
}

QString TMainForm::AskSavePath(const QString& title, const QString& proposed) {
    return AskSaveFileName(this, {title, kStreamFilter, QStringLiteral("asf")}, proposed);
}

void TMainForm::RunClipwrightFlow(const std::function<std::optional<std::string>(IHost&, const ToolRunner&)>& flow) {
    // Closing the window while clipwright works ends it; the flow then stops without a result.
    FlowHost host(this, [this] { return closing_; });
    const ToolRunner tool = DesktopToolRunner(host, this, ToStd(ClipwrightProgram), RunWording::MainWindow, [this] { return closing_; });
    const std::optional<std::string> added = flow(host, tool);
    host.CloseProgress();
    if (added && FileExists(*added) && !closing_) AddFile(ToQt(*added));
}

void TMainForm::BasicRepairCommand() {
    if (!RequireSelection()) return;
    const std::string source = ToStd(SelectedFile());
    BasicRepairOptions options;
    options.resync = ResyncBox->isChecked();
    options.istart = NoKeyframeBox->isChecked();
    if (BasicOutputGroup->ItemIndex() != 0) {
        RunClipwrightFlow([&](IHost& host, const ToolRunner& tool) { return BasicRepairReplacingSource(host, tool, source, options); });
        return;
    }
    const QString output = AskSavePath(QStringLiteral("被修复的文件名"), ToQt(ToolOutputName(source, OutputFor::BasicRepairNew)));
    if (output.isEmpty()) return;
    RunClipwrightFlow([&](IHost& host, const ToolRunner& tool) {
        return BasicRepairToNewFile(host, tool, source, ToStd(output), options);
    });
}

void TMainForm::JoinCommand() {
    if (!RequireSelection()) return;
    const QString output = AskSavePath(QStringLiteral("已合并文件名称"),
                                       ToQt(JoinedOutputName(list_.rows.front(), list_.rows.back())));
    if (output.isEmpty()) return;
    RunClipwrightFlow([&](IHost& host, const ToolRunner& tool) {
        return JoinListedFiles(host, tool, list_.rows, ToStd(output), JoinIncompatibleBox->isChecked());
    });
}

void TMainForm::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    // A flow that runs clipwright learns of it at its next step and ends the tool.
    if (event->isAccepted()) closing_ = true;
}

void TMainForm::WritePlaylistTo(const QString& path) {
    mendery::WritePlaylist(ToStd(path), list_.rows);
}

QString TMainForm::PlayAllPlaylistPath() const {
    const QFileInfo program(QCoreApplication::applicationFilePath());
    if (QFileInfo(program.absolutePath()).isWritable())
        return program.absolutePath() + QLatin1Char('/') + program.completeBaseName() + QStringLiteral(".asx");
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return data + QLatin1Char('/') + program.completeBaseName() + QStringLiteral(".asx");
}

void TMainForm::PlaylistCommand() {
    if (!RequireSelection()) return;
    const SaveDialogTexts texts{QString(), QStringLiteral("ASX文件(*.asx) (*.asx)"), QStringLiteral("asx")};
    const QString path = AskSaveFileName(this, texts, AddDialogFolder, QStringLiteral("FileList.asx"));
    if (path.isEmpty()) return;
    try {
        WritePlaylistTo(path);
    } catch (const std::exception& e) {
        QMessageBox::critical(this, AppTitle(), ToQt(e.what()));
    }
}

void TMainForm::AboutCommand() {
    auto* about = findChild<TAboutForm*>();
    if (!about) about = new TAboutForm(this);
    about->OnActivate = nullptr;
    about->exec();
}

void TMainForm::PlayCommand() {
    if (!SelectedFile().isEmpty()) ShellOpen(this, SelectedFile());
}

void TMainForm::PlayAllCommand() {
    if (!RequireSelection()) return;
    const QString playlist = PlayAllPlaylistPath();
    try {
        WritePlaylistTo(playlist);
    } catch (const std::exception& e) {
        QMessageBox::critical(this, AppTitle(), ToQt(e.what()));
        return;
    }
    ShellOpen(this, playlist);
}

QString TMainForm::AskTarget(const QString& title) {
    SaveDialogTexts texts{title, QStringLiteral("(*.asf,*.wmv,*.wma) (*.asf *.wmv *.wma)"), QStringLiteral("asf")};
    texts.confirmOverwrite = false;  // MayReplace asks, and refuses to replace the source
    return AskSaveFileName(this, texts, SelectedFile());
}

namespace {
// The shell asked before replacing a file; without that question an existing target stays.
bool MayReplace(QWidget* owner, const QString& source, const QString& target) {
    if (!QFileInfo::exists(target)) return true;
    if (IsSameFile(ToStd(source), ToStd(target))) return false;
    if (QMessageBox::question(owner, AppTitle(), QStringLiteral("目标文件已存在, 是否替换?\n") + target) != QMessageBox::Yes)
        return false;
    return QFile::remove(target);
}

bool MoveFileTo(const QString& source, const QString& target) {
    // QFile::rename copies and deletes when the target lies on another file system.
    return QFile::rename(source, target);
}
}  // namespace

void TMainForm::MoveCommand() {
    if (!RequireSelection()) return;
    const QString target = AskTarget(QStringLiteral("移动/重命名至"));
    if (!target.isEmpty()) MoveCurrentTo(target);
}

void TMainForm::MoveCurrentTo(const QString& target) {
    if (!TransferCurrentTo(target, MoveFileTo, QStringLiteral("不能移动至选定的目标文件!"))) return;
    list_.rows[list_.current] = ReplaceControlChars(ToStd(target));
    SyncGrid();
}

void TMainForm::CopyCommand() {
    if (!RequireSelection()) return;
    const QString target = AskTarget(QStringLiteral("复制到"));
    if (!target.isEmpty()) CopyCurrentTo(target);
}

void TMainForm::CopyCurrentTo(const QString& target) {
    if (TransferCurrentTo(target, QFile::copy, QStringLiteral("不能复制到选定的目标文件!"))) AddFile(target);
}

bool TMainForm::TransferCurrentTo(const QString& target, bool (*transfer)(const QString&, const QString&),
                                  const QString& failure) {
    const QString source = SelectedFile();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool done = MayReplace(this, source, target) && transfer(source, target);
    QApplication::restoreOverrideCursor();
    if (!done) QMessageBox::warning(this, AppTitle(), failure);
    return done;
}

void TMainForm::RecycleCommand() {
    if (!RequireSelection()) return;
    const QString path = SelectedFile();
    if (QMessageBox::question(this, AppTitle(), QStringLiteral("您确定要发送 '") + path + QStringLiteral("' 至回收站?"),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    if (QFile::moveToTrash(path)) RemoveCommand();
    else QMessageBox::warning(this, AppTitle(), QStringLiteral("错误，不能发送 '") + path + QStringLiteral("' 至回收站."));
}

void TMainForm::PageChanged(int index) {
    if (index == 2) Sampler->SetDamagedFile(SelectedFile());
}

// ---------------------------------------------------------------- keyboard, drag and drop

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FileGrid && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter: PlayCommand(); return true;
            case Qt::Key_Insert: AddCommand(); return true;
            case Qt::Key_Delete: RemoveCommand(); return true;
            default: break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

namespace {
bool OverWidget(QWidget* widget, QWidget* window, const QPointF& pos) {
    const QPoint local = widget->mapFrom(window, pos.toPoint());
    return widget->rect().contains(local);
}
}  // namespace

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TMainForm::dragMoveEvent(QDragMoveEvent* event) {
    // Items of the explorer panel are taken only by the list; files from outside anywhere.
    const bool fromExplorer = event->source() == ExplorerList || event->source() == ExplorerList->viewport();
    if (fromExplorer && !OverWidget(FileGrid, this, event->position())) event->ignore();
    else event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
    const bool fromExplorer = event->source() == ExplorerList || event->source() == ExplorerList->viewport();
    if (fromExplorer) {
        if (!OverWidget(FileGrid, this, event->position())) return;
        for (const QModelIndex& i : ExplorerList->selectionModel()->selectedIndexes())
            if (!filesModel_->isDir(i)) AddFile(filesModel_->filePath(i));
    } else {
        for (const QUrl& url : event->mimeData()->urls())
            if (url.isLocalFile()) AddFile(url.toLocalFile());
    }
    event->acceptProposedAction();
}

}  // namespace mendery::ui
