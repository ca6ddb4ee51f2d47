#include "gui/main_window/MainForm.h"

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
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <cmath>

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
#include "recovery/SampleMaker.h"
#include "gui/kit/QtHost.h"
#include "gui/kit/RadioGroup.h"
#include "gui/kit/Widgets.h"
#include "asf/BinaryFile.h"
#include "asf/Format.h"
#include "gui/recovery/SampleFrame.h"

namespace mendery::ui {

// The splitter above the list: the explorer panel keeps its share of the page's height when the
// window is resized; moving the splitter changes that share.
class TPageSplitter : public QSplitter {
public:
    using QSplitter::QSplitter;
    int panelHeight = 0, pageHeight = 0;

protected:
    void resizeEvent(QResizeEvent* event) override {
        QSplitter::resizeEvent(event);
        const int newPage = height();
        if (pageHeight > 0 && panelHeight > 0 && count() == 2 && widget(0)->isVisible()) {
            panelHeight = static_cast<int>(std::lround(double(panelHeight) * newPage / pageHeight));
            setSizes({panelHeight, std::max(0, newPage - panelHeight - handleWidth())});
        }
        pageHeight = newPage;
    }
};

namespace {

const char* const kOrganisation = "Mendery";
const char* const kApplication = "Mendery310";
const char* const kEmptyListMessage = "文件列表为空!\r使用 \"添加\" 键或从Windows资源管理器中拖放文件.";
const int kGroupCount = 4;

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

// A command button of the tool groups or the list toolbar.
struct TMainForm::Command {
    const char* name;
    const char* theme;
    QStyle::StandardPixmap fallback;
    const char* label;
    const char* hint;
    std::function<void()> action;  // none: the tool is not offered
};

QToolButton* TMainForm::MakeCommand(QWidget* parent, const Command& c, Qt::ToolButtonStyle style) {
    return MakeCommandButton(parent, QString::fromLatin1(c.name), ThemeIcon(c.theme, c.fallback), ToQt(c.label), UiText(c.hint), style);
}

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

QTabWidget* TMainForm::BuildPages(QWidget* central) {
    Pages = new QTabWidget(central);
    Pages->setObjectName(QStringLiteral("PageControl1"));
    Pages->addTab(BuildFileListPage(), QStringLiteral("文件列表"));
    Pages->addTab(BuildOptionsPage(), QStringLiteral("选项"));
    Sampler = new TSampleFrame(Pages);
    Sampler->MakeSample = [this](const std::string& damaged) -> std::optional<std::string> {
        FlowHost host(this);
        const TSampleResult result = TSampleMaker(host).MakeSample(damaged);
        if (!result.ok) return std::nullopt;
        return result.samplePath;
    };
    Pages->addTab(Sampler, QStringLiteral("采样器"));
    connect(Pages, &QTabWidget::currentChanged, this, &TMainForm::PageChanged);
    return Pages;
}

void TMainForm::BuildStatusBar() {
    const int widths[3] = {75, 175, 50};
    for (int i = 0; i < 3; ++i) {
        StatusPanels[i] = new QLabel(this);
        StatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanels[i]->setMinimumWidth(widths[i]);
        statusBar()->addWidget(StatusPanels[i], i == 2 ? 1 : 0);
    }
}

TMainForm::~TMainForm() {
    if (settingsOpened_) SaveSettings();
}

// ---------------------------------------------------------------- layout

// The commands of the four tool groups, each with its button's name, picture, label and hint.
std::vector<std::vector<TMainForm::Command>> TMainForm::ToolGroupCommands() {
    return {
        {{"AddButton", "list-add", QStyle::SP_FileDialogNewFolder, "添加", "向文件列表中添加文件", [this] { AddCommand(); }},
         {"RemoveButton", "list-remove", QStyle::SP_DialogDiscardButton, "移除", "从文件列表中移除文件", [this] { RemoveCommand(); }},
         {"JoinButton", "insert-link", QStyle::SP_FileDialogDetailedView, "合并", "合并列表中的所有文件", [this] { JoinCommand(); }},
         {"SplitButton", "edit-cut", QStyle::SP_MediaSeekForward, "分割", "为所选文件打开分割窗口", [this] { SplitCommand(); }},
         {"ClearButton", "edit-clear", QStyle::SP_DialogResetButton, "清空", "清空文件列表", [this] { ClearCommand(); }}},
        {{"BasicRepairButton", "tools-check-spelling", QStyle::SP_DialogApplyButton, "基础修复", "对损坏较少的文件进行初步修复", [this] { BasicRepairCommand(); }},
         {"AdvRepairButton", "preferences-system", QStyle::SP_ComputerIcon, "高级修复", "收集高级修复工具", [this] { AdvancedRepairCommand(); }},
         {"FlagsButton", "document-properties", QStyle::SP_FileDialogInfoView, "设置标记", "设置文件\"可定位\"及\"直播\"", [this] { FlagsCommand(); }},
         {"LostChunkButton", "edit-find", QStyle::SP_FileDialogContentsView, "丢失数据块", "恢复任何可用数据\r也可设置文件\"可定位\"", [this] { RunTool([this](const QString& s) { return LostChunkRecovery(this, s); }, true); }},
         {"ShrinkButton", "zoom-out", QStyle::SP_ArrowDown, "缩减", "从文件中移除空白数据", [this] { RunTool([this](const QString& s) { return ShrinkFile(this, s, BasicRepairButton->isEnabled()); }, true); }}},
        {{"AviButton", "video-x-generic", QStyle::SP_DriveDVDIcon, "转为AVI", "转换选定的文件为AVI格式", [this] { RunTool([this](const QString& s) { ConvertToAvi(this, s); return QString(); }, false); }},
         {"WavButton", "audio-x-generic", QStyle::SP_MediaVolume, "提取WAV", "提取声音流并保存为WAV格式", [this] { RunTool([this](const QString& s) { ConvertToWav(this, s); return QString(); }, false); }},
         {"ReEncodeButton", "media-record", QStyle::SP_BrowserReload, "重新编码", "使用MPEG4-v3 codec对影片进行再次编码\r这需要Microsoft Media Encoder 7.1", [this] { RunTool([this](const QString& s) { return ReEncode(this, s); }, true); }}},
        {{"PlaylistButton", "document-save", QStyle::SP_DialogSaveButton, "ASX列表", "基于文件列表创建一个ASX文件", [this] { PlaylistCommand(); }},
         {"AboutButton", "help-about", QStyle::SP_MessageBoxInformation, "关于", "打开\"关于\"对话框", [this] { AboutCommand(); }},
         {"ExitButton", "application-exit", QStyle::SP_DialogCloseButton, "退出", "退出Mendery", [this] { close(); }}},
    };
}

QWidget* TMainForm::BuildToolGroups() {
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("ToolGroups"));
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* inner = new QWidget;
    auto* column = new QVBoxLayout(inner);
    column->setContentsMargins(2, 2, 2, 2);
    column->setSpacing(2);
    const char* headers[kGroupCount] = {"文件列表", "修复工具", "转换工具", "其他"};
    const auto groups = ToolGroupCommands();
    for (int g = 0; g < kGroupCount; ++g) AddToolGroup(inner, column, g, ToQt(headers[g]), groups[g]);
    column->addStretch(1);
    scroll->setWidget(inner);
    scroll->setMinimumWidth(inner->sizeHint().width() + scroll->verticalScrollBar()->sizeHint().width() + 2 * scroll->frameWidth());
    scroll->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    JoinButton = inner->findChild<QToolButton*>(QStringLiteral("JoinButton"));
    SplitButton = inner->findChild<QToolButton*>(QStringLiteral("SplitButton"));
    BasicRepairButton = inner->findChild<QToolButton*>(QStringLiteral("BasicRepairButton"));
    return scroll;
}

// A group's header, which folds it, and its panel of command buttons.
void TMainForm::AddToolGroup(QWidget* inner, QVBoxLayout* column, int g, const QString& caption,
                             const std::vector<Command>& commands) {
    auto* header = new QToolButton(inner);
    header->setObjectName(QStringLiteral("GroupHeader%1").arg(g + 1));
    header->setText(caption);
    header->setCheckable(true);
    header->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    GroupHeaders[g] = header;
    auto* panel = new QWidget(inner);
    panel->setObjectName(QStringLiteral("GroupPanel%1").arg(g + 1));
    auto* buttons = new QVBoxLayout(panel);
    buttons->setContentsMargins(4, 0, 0, 4);
    buttons->setSpacing(0);
    for (const auto& c : commands) {
        auto* b = MakeCommand(panel, c, Qt::ToolButtonTextBesideIcon);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        if (c.action) connect(b, &QToolButton::clicked, this, c.action);
        else MarkUnavailable(b);
        buttons->addWidget(b);
    }
    GroupPanels[g] = panel;
    connect(header, &QToolButton::toggled, this, [this, g](bool on) { SetGroupExpanded(g, on); });
    column->addWidget(header);
    column->addWidget(panel);
    header->setChecked(g == 0);
    SetGroupExpanded(g, g == 0);
}

void TMainForm::MarkUnavailable(QToolButton* button) {
    button->setEnabled(false);
    button->setToolTip(button->toolTip() + QStringLiteral("\n(此版本尚未提供该工具)"));
}

void TMainForm::SetGroupExpanded(int group, bool expanded) {
    GroupPanels[group]->setVisible(expanded);
    GroupHeaders[group]->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
    if (GroupHeaders[group]->isChecked() != expanded) GroupHeaders[group]->setChecked(expanded);
}

QWidget* TMainForm::BuildFileListPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("FileListPage"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    pageSplitter_ = new TPageSplitter(Qt::Vertical, page);
    pageSplitter_->setObjectName(QStringLiteral("PageSplitter"));
    pageSplitter_->setChildrenCollapsible(false);
    pageSplitter_->addWidget(BuildExplorerPanel());

    auto* listArea = new QWidget(pageSplitter_);
    auto* listLayout = new QVBoxLayout(listArea);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->addWidget(BuildFileGrid(listArea), 1);
    listLayout->addLayout(BuildListToolbar(listArea));
    pageSplitter_->addWidget(listArea);
    pageSplitter_->setStretchFactor(1, 1);
    connect(pageSplitter_, &QSplitter::splitterMoved, this, [this] { pageSplitter_->panelHeight = pageSplitter_->sizes().value(0); });
    layout->addWidget(pageSplitter_);
    return page;
}

QTableWidget* TMainForm::BuildFileGrid(QWidget* listArea) {
    FileGrid = new QTableWidget(1, 1, listArea);
    FileGrid->setObjectName(QStringLiteral("StringGrid1"));
    FileGrid->horizontalHeader()->hide();
    FileGrid->verticalHeader()->hide();
    FileGrid->horizontalHeader()->setStretchLastSection(true);
    FileGrid->verticalHeader()->setDefaultSectionSize(FileGrid->fontMetrics().height() + 6);
    FileGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    FileGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    FileGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FileGrid->setToolTip(UiText("这是一个文件列表. 文件将首先在此添加.\r使用\"添加\"键,或从资源管理器中拖放来添加文件."));
    FileGrid->installEventFilter(this);
    connect(FileGrid, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row >= 0 && row < static_cast<int>(list_.rows.size())) list_.current = row;
        UpdateStatusBar();
    });
    connect(FileGrid, &QTableWidget::cellDoubleClicked, this, [this] { PlayCommand(); });
    return FileGrid;
}

// The commands under the list, each with its button's name, picture, label and hint.
std::vector<TMainForm::Command> TMainForm::ListToolbarCommands() {
    return {
        {"UpButton", "go-up", QStyle::SP_ArrowUp, "上移", "选定的文件上移一步", [this] { if (RequireSelection()) ReorderList(rcUp); }},
        {"DownButton", "go-down", QStyle::SP_ArrowDown, "下移", "选定的文件下移一步", [this] { if (RequireSelection()) ReorderList(rcDown); }},
        {"TopButton", "go-top", QStyle::SP_MediaSkipBackward, "顶部", "选定的文件上移至顶部", [this] { if (RequireSelection()) ReorderList(rcTop); }},
        {"BottomButton", "go-bottom", QStyle::SP_MediaSkipForward, "底部", "选定的文件下移至底部", [this] { if (RequireSelection()) ReorderList(rcBottom); }},
        {"SortButton", "view-sort-ascending", QStyle::SP_FileDialogListView, "排序", "按文件类型排列", [this] { if (RequireSelection()) ReorderList(rcSort); }},
        {"MoveButton", "edit-rename", QStyle::SP_FileLinkIcon, "移动", "移动/重命名文件", [this] { MoveCommand(); }},
        {"CopyButton", "edit-copy", QStyle::SP_FileIcon, "复制", "复制文件", [this] { CopyCommand(); }},
        {"RecycleButton", "user-trash", QStyle::SP_TrashIcon, "回收", "删除回收站里的文件", [this] { RecycleCommand(); }},
        {"ExplorerButton", "folder", QStyle::SP_DirIcon, "浏览", "显示/隐藏资源管理器查看方式", {}},
        {"ClearButton2", "edit-clear", QStyle::SP_DialogResetButton, "清空", "清空文件列表", [this] { ClearCommand(); }},
        {"PlayButton", "media-playback-start", QStyle::SP_MediaPlay, "播放", "播放选定的文件", [this] { if (RequireSelection()) PlayCommand(); }},
        {"PlayAllButton", "media-playlist-repeat", QStyle::SP_MediaSeekForward, "全部", "播放列表中所有文件", [this] { PlayAllCommand(); }},
    };
}

QHBoxLayout* TMainForm::BuildListToolbar(QWidget* listArea) {
    auto* toolbar = new QHBoxLayout;
    toolbar->setSpacing(0);
    for (const auto& t : ListToolbarCommands()) {
        auto* b = MakeCommand(listArea, t, Qt::ToolButtonTextUnderIcon);
        b->setIconSize(QSize(16, 16));
        if (t.action) connect(b, &QToolButton::clicked, this, t.action);
        toolbar->addWidget(b);
        if (QLatin1String(t.name) == QLatin1String("ExplorerButton")) {
            explorerToggle_ = b;
            b->setCheckable(true);
            connect(b, &QToolButton::toggled, this, &TMainForm::ShowExplorer);
        }
    }
    toolbar->addStretch(1);
    return toolbar;
}

QWidget* TMainForm::BuildExplorerPanel() {
    ExplorerPanel = new QWidget(this);
    ExplorerPanel->setObjectName(QStringLiteral("ExplorerPanel"));
    auto* layout = new QVBoxLayout(ExplorerPanel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(BuildFolderRow());
    dirsModel_ = new QFileSystemModel(this);
    dirsModel_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    dirsModel_->setRootPath(QDir::rootPath());
    filesModel_ = new QFileSystemModel(this);
    filesModel_->setFilter(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    layout->addWidget(BuildFolderViews(), 1);

    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    NavigateExplorer(QFileInfo(desktop).isDir() ? desktop : QDir::homePath());
    return ExplorerPanel;
}

// The folder combo box and the button to the parent folder.
QHBoxLayout* TMainForm::BuildFolderRow() {
    auto* top = new QHBoxLayout;
    FolderCombo = new QComboBox(ExplorerPanel);
    FolderCombo->setObjectName(QStringLiteral("FolderCombo"));
    auto* up = MakeCommandButton(ExplorerPanel, QStringLiteral("UpFolderButton"), ThemeIcon("go-up", QStyle::SP_FileDialogToParent),
                                 QString(), QString(), Qt::ToolButtonIconOnly);
    connect(up, &QToolButton::clicked, this, [this] {
        QDir dir(explorerFolder_);
        if (dir.cdUp()) NavigateExplorer(dir.absolutePath());
    });
    top->addWidget(FolderCombo, 1);
    top->addWidget(up);
    connect(FolderCombo, &QComboBox::activated, this, [this](int i) { NavigateExplorer(FolderCombo->itemData(i).toString()); });
    return top;
}

// The folder tree beside the folder's files.
QSplitter* TMainForm::BuildFolderViews() {
    explorerSplitter_ = new QSplitter(Qt::Horizontal, ExplorerPanel);
    explorerSplitter_->setObjectName(QStringLiteral("ExplorerSplitter"));
    FolderTree = new QTreeView(explorerSplitter_);
    FolderTree->setObjectName(QStringLiteral("FolderTree"));
    FolderTree->setModel(dirsModel_);
    for (int c = 1; c < dirsModel_->columnCount(); ++c) FolderTree->hideColumn(c);
    FolderTree->header()->hide();
    FolderTree->setToolTip(QStringLiteral("使用树状目录定位您的流文件"));
    connect(FolderTree, &QTreeView::clicked, this, [this](const QModelIndex& i) { NavigateExplorer(dirsModel_->filePath(i)); });
    ExplorerList = new QListView(explorerSplitter_);
    ExplorerList->setObjectName(QStringLiteral("ExplorerList"));
    ExplorerList->setModel(filesModel_);
    ExplorerList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ExplorerList->setDragEnabled(true);
    ExplorerList->setDragDropMode(QAbstractItemView::DragOnly);
    ExplorerList->setToolTip(UiText("在此窗口中确定您所选文件的完整路径 \r然后请点击左侧“添加”键向文件列表中添加文件"));
    connect(ExplorerList, &QListView::doubleClicked, this, [this](const QModelIndex& i) {
        if (filesModel_->isDir(i)) NavigateExplorer(filesModel_->filePath(i));
        else AddFile(filesModel_->filePath(i));
    });
    explorerSplitter_->setStretchFactor(1, 1);
    connect(explorerSplitter_, &QSplitter::splitterMoved, this, [this] { treeWidth_ = explorerSplitter_->sizes().value(0); });
    return explorerSplitter_;
}

QWidget* TMainForm::BuildOptionsPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("OptionsPage"));
    auto* grid = new QGridLayout(page);
    grid->addWidget(BuildBasicRepairOptions(page), 0, 0);
    grid->addWidget(BuildProgramOptions(page), 0, 1);
    grid->addWidget(BuildJoinOptions(page), 1, 0);
    grid->addWidget(BuildSplitOptions(page), 1, 1);
    grid->setRowStretch(2, 1);
    return page;
}

namespace {
// The controls of an options group in a column, free space below them.
void StackInGroup(QGroupBox* group, std::initializer_list<QWidget*> controls) {
    auto* column = new QVBoxLayout(group);
    for (QWidget* c : controls) column->addWidget(c);
    column->addStretch(1);
}
}  // namespace

QGroupBox* TMainForm::BuildBasicRepairOptions(QWidget* page) {
    auto* basic = new QGroupBox(QStringLiteral("基础修复选项 "), page);
    BasicOutputGroup = new TRadioGroup(QStringLiteral(" 输出文件 "), {QStringLiteral("保存为一个新文件"), QStringLiteral("替换源文件")}, 1, basic);
    BasicOutputGroup->setObjectName(QStringLiteral("BasicOutputGroup"));
    ResyncBox = new QCheckBox(QStringLiteral("重新同步流媒体"), basic);
    ResyncBox->setObjectName(QStringLiteral("ResyncBox"));
    NoKeyframeBox = new QCheckBox(QStringLiteral("不等待关键帧"), basic);
    NoKeyframeBox->setObjectName(QStringLiteral("NoKeyframeBox"));
    StackInGroup(basic, {BasicOutputGroup, ResyncBox, NoKeyframeBox});
    return basic;
}

QGroupBox* TMainForm::BuildProgramOptions(QWidget* page) {
    auto* program = new QGroupBox(QStringLiteral("程序选项"), page);
    QuickHintBox = new QCheckBox(QStringLiteral("快捷提示"), program);
    QuickHintBox->setObjectName(QStringLiteral("QuickHintBox"));
    QuickHintBox->setToolTip(QStringLiteral("改变提示延迟"));
    QuickHintBox->setChecked(true);
    connect(QuickHintBox, &QCheckBox::toggled, this, [](bool on) { SetHintDelay(on ? 200 : 3000); });
    StayOnTopBox = new QCheckBox(QStringLiteral("在顶部停留"), program);
    StayOnTopBox->setObjectName(QStringLiteral("StayOnTopBox"));
    connect(StayOnTopBox, &QCheckBox::toggled, this, [this](bool on) {
        // Changing the flag re-creates the native window; it is shown again and still takes drops.
        const bool visible = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, on);
        setAcceptDrops(true);
        if (visible) show();
    });
    StackInGroup(program, {QuickHintBox, StayOnTopBox});
    return program;
}

QGroupBox* TMainForm::BuildJoinOptions(QWidget* page) {
    auto* join = new QGroupBox(QStringLiteral("合并选项"), page);
    JoinIncompatibleBox = new QCheckBox(QStringLiteral("合并不兼容的比特率"), join);
    JoinIncompatibleBox->setObjectName(QStringLiteral("JoinIncompatibleBox"));
    JoinIncompatibleBox->setToolTip(QStringLiteral("如果检查,将允许以不同比特率合并.不推荐"));
    StackInGroup(join, {JoinIncompatibleBox});
    return join;
}

QGroupBox* TMainForm::BuildSplitOptions(QWidget* page) {
    auto* split = new QGroupBox(QStringLiteral("分割选项"), page);
    CutSizeWarnGroup = new TRadioGroup(QStringLiteral("大小匹配警告 "),
                                       {QStringLiteral("从不检查大小匹配"), QStringLiteral("如果差异大于1%则提醒"),
                                        QStringLiteral("总是检查大小匹配")},
                                       1, split);
    CutSizeWarnGroup->setObjectName(QStringLiteral("CutSizeWarnGroup"));
    CutSizeWarnGroup->ShowItemIndex(1);
    StackInGroup(split, {CutSizeWarnGroup});
    return split;
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
    const SaveDialogSpec spec{QString(), QStringLiteral("ASX文件(*.asx) (*.asx)"), QStringLiteral("asx")};
    const QString path = AskSaveFileName(this, spec, AddDialogFolder, QStringLiteral("FileList.asx"));
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
    SaveDialogSpec spec{title, QStringLiteral("(*.asf,*.wmv,*.wma) (*.asf *.wmv *.wma)"), QStringLiteral("asf")};
    spec.confirmOverwrite = false;  // MayReplace asks, and refuses to replace the source
    return AskSaveFileName(this, spec, SelectedFile());
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
