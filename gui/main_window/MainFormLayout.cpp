// TMainForm's controls: the tool groups, the pages (file list with its explorer panel and
// toolbar, options, sampler) and the status bar.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "gui/kit/FlowHost.h"
#include "gui/kit/RadioGroup.h"
#include "gui/kit/Text.h"
#include "gui/kit/Widgets.h"
#include "gui/main_window/MainForm.h"
#include "gui/main_window/PageSplitter.h"
#include "gui/main_window/ToolDialogs.h"
#include "gui/recovery/SampleFrame.h"
#include "recovery/SampleMaker.h"

namespace mendery::ui {

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

QTabWidget* TMainForm::BuildPages(QWidget* central) {
    Pages = new QTabWidget(central);
    Pages->setObjectName(QStringLiteral("PageControl1"));
    Pages->addTab(BuildFileListPage(), QStringLiteral("文件列表"));
    Pages->addTab(BuildOptionsPage(), QStringLiteral("选项"));
    Sampler = new TSampleFrame(Pages);
    Sampler->MakeSample = [this](const std::string& damaged) -> std::optional<std::string> {
        FlowHost host(this);
        const SampleResult result = SampleMaker(host).MakeSample(damaged);
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
         {"RescueButton", "system-run", QStyle::SP_CommandLink, "一键修复", "自动诊断文件的损坏并选择合适的工具修复", [this] { RescueCommand(); }},
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
    pageSplitter_ = new PageSplitter(Qt::Vertical, page);
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
    BasicOutputGroup = new RadioGroup(QStringLiteral(" 输出文件 "), {QStringLiteral("保存为一个新文件"), QStringLiteral("替换源文件")}, 1, basic);
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
    CutSizeWarnGroup = new RadioGroup(QStringLiteral("大小匹配警告 "),
                                       {QStringLiteral("从不检查大小匹配"), QStringLiteral("如果差异大于1%则提醒"),
                                        QStringLiteral("总是检查大小匹配")},
                                       1, split);
    CutSizeWarnGroup->setObjectName(QStringLiteral("CutSizeWarnGroup"));
    CutSizeWarnGroup->ShowItemIndex(1);
    StackInGroup(split, {CutSizeWarnGroup});
    return split;
}

}  // namespace mendery::ui
