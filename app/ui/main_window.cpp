#include "main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <cstdio>

#include "about_dialog.h"
#include "app_select_dialog.h"
#include "list_save_dialog.h"
#include "paint_throttle.h"
#include "properties.h"
#include "status_panel.h"

namespace vesko::lite {

namespace {

const QString kTitle = QStringLiteral("VeskolabLite 130324");
constexpr int kPanelWidth = 50;
constexpr int kMaxNamedEntries = 10;

QString folderOf(const QString& path) { return QDir::toNativeSeparators(QFileInfo(path).absolutePath()); }

}  // namespace

MainWindow::MainWindow(const StartOptions& options, Prompter& prompter, QWidget* parent)
    : QMainWindow(parent), options_(options), prompter_(prompter), controller_(model_, prompter) {
    setObjectName(QStringLiteral("TVKR_MAIN"));
    setWindowTitle(kTitle);
    setAcceptDrops(true);

    paths_ = resolveAppPaths(options.programDir, options.userName, isFolderWritable(options.programDir),
                             options.configDir.isEmpty() ? defaultConfigDir() : options.configDir);

    view_ = new QTableView(this);
    view_->setObjectName(QStringLiteral("ListView"));
    view_->setModel(&model_);
    view_->setShowGrid(true);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setWordWrap(false);
    view_->setTextElideMode(Qt::ElideRight);
    view_->setAlternatingRowColors(false);
    view_->verticalHeader()->hide();
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 4);
    view_->horizontalHeader()->setSectionsClickable(true);
    view_->horizontalHeader()->setHighlightSections(false);
    view_->horizontalHeader()->setStretchLastSection(false);
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    // Selected rows stay marked when the list loses the focus.
    QPalette palette = view_->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    view_->setPalette(palette);
    setCentralWidget(view_);

    countPanel_ = new StatusPanel(kPanelWidth, QStringLiteral("0"));
    focusPanel_ = new StatusPanel(kPanelWidth, QStringLiteral("0"));
    progressPanel_ = new StatusPanel(0);
    countPanel_->setObjectName(QStringLiteral("CountPanel"));
    focusPanel_->setObjectName(QStringLiteral("FocusPanel"));
    progressPanel_->setObjectName(QStringLiteral("ProgressPanel"));
    statusBar()->setSizeGripEnabled(true);
    statusBar()->addWidget(countPanel_);
    statusBar()->addWidget(focusPanel_);
    statusBar()->addWidget(progressPanel_, 1);

    throttle_ = new PaintThrottle(this);

    editor_ = std::make_unique<ListEditor>(model_, *view_->selectionModel(), prompter_);
    connect(editor_.get(), &ListEditor::scrollRequested, this,
            [this](int row) { view_->scrollTo(model_.index(row, 0)); });
    systemLauncher_ = ProcessLauncher(
        [](const QString& file) { return QDesktopServices::openUrl(QUrl::fromLocalFile(file)); });
    openUrl_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    buildMenus();

    // Double-click or Enter on the list: the checked application.
    connect(view_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) launchSlot(checkedSlot());
    });
    view_->installEventFilter(this);

    connect(view_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        controller_.sortByColumn(column);
        view_->horizontalHeader()->setSortIndicatorShown(true);
        view_->horizontalHeader()->setSortIndicator(
            column, controller_.isSortedAscending(column) ? Qt::AscendingOrder : Qt::DescendingOrder);
        scrollToFirstSelected();
    });
    connect(view_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { popup_->popup(view_->viewport()->mapToGlobal(at)); });
    connect(&model_, &QAbstractItemModel::rowsInserted, this, &MainWindow::updateCountPanel);
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, &MainWindow::updateCountPanel);
    connect(&model_, &QAbstractItemModel::modelReset, this, &MainWindow::updateCountPanel);
    connect(&model_, &QAbstractItemModel::rowsInserted, this, &MainWindow::updateFocusPanel);
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, &MainWindow::updateFocusPanel);
    connect(&model_, &QAbstractItemModel::layoutChanged, this, &MainWindow::updateFocusPanel);
    connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this, &MainWindow::updateFocusPanel);
    connect(&controller_, &ListController::progressChanged, progressPanel_, &StatusPanel::setText);
    connect(&controller_, &ListController::busyChanged, this, &MainWindow::onBusyChanged);

    settings_ = readSettings(paths_.settingsPath);
    applySettings();
}

MainWindow::~MainWindow() {
    controller_.setLibrary(nullptr);
    binding_.unload();
}

QAction* MainWindow::addItem(QMenu* menu, const char* name, const QString& caption, const QKeySequence& key,
                             bool enabled) {
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty()) action->setShortcut(key);
    action->setEnabled(enabled);
    menu->addAction(action);
    return action;
}

// Where two items of one menu shared an accelerator letter, the later one
// has another letter, so that each letter reaches one item.
void MainWindow::buildMenus() {
    auto run = [this](QAction* action, void (MainWindow::*command)()) {
        connect(action, &QAction::triggered, this, [this, command] { (this->*command)(); });
        return action;
    };
    auto editing = [this](QAction* action, void (ListEditor::*command)()) {
        connect(action, &QAction::triggered, this, [this, command] { edit(command); });
        return action;
    };

    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("M_File"));
    run(addItem(file, "S_Open", QStringLiteral("開く(&O)"), QKeySequence(Qt::CTRL | Qt::Key_O), true),
        &MainWindow::S_OpenClick);
    run(addItem(file, "S_OpenFolder", QStringLiteral("フォルダを開く(&F)"), {}, true), &MainWindow::S_OpenFolderClick);
    run(addItem(file, "S_Property", QStringLiteral("プロパティ(&P)"), {}, true), &MainWindow::S_PropertyClick);
    file->addSeparator();
    run(addItem(file, "S_Save", QStringLiteral("リストの保存(&A)"), QKeySequence(Qt::CTRL | Qt::Key_S), true),
        &MainWindow::S_SaveClick);
    run(addItem(file, "S_SaveSelected", QStringLiteral("選択範囲のリスト保存(&E)"), QKeySequence(Qt::CTRL | Qt::Key_E),
                true),
        &MainWindow::S_SaveSelectedClick);
    file->addSeparator();
    run(addItem(file, "S_CopyFile", QStringLiteral("選択ファイルのコピー(&C)"), {}, true), &MainWindow::S_CopyFileClick);
    run(addItem(file, "S_MoveFile", QStringLiteral("選択ファイルを移動(&M)"), {}, true), &MainWindow::S_MoveFileClick);
    run(addItem(file, "S_DeleteFile", QStringLiteral("選択ファイルを削除(&D)"), {}, true),
        &MainWindow::S_DeleteFileClick);
    file->addSeparator();
    run(addItem(file, "S_Exit", QStringLiteral("閉じる(&X)"), {}, true), &MainWindow::S_ExitClick);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("リスト編集(&L)"));
    edit->setObjectName(QStringLiteral("M_Edit"));
    editing(addItem(edit, "S_Up", QStringLiteral("一つ上へ(&U)"), QKeySequence(Qt::ALT | Qt::Key_Up), true),
            &ListEditor::moveUp);
    editing(addItem(edit, "S_Down", QStringLiteral("一つ下へ(&D)"), QKeySequence(Qt::ALT | Qt::Key_Down), true),
            &ListEditor::moveDown);
    editing(addItem(edit, "S_Top", QStringLiteral("先頭へ(&T)"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Up), true),
            &ListEditor::moveToTop);
    editing(addItem(edit, "S_Bottom", QStringLiteral("最下段へ(&B)"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Down),
                    true),
            &ListEditor::moveToBottom);
    run(addItem(edit, "S_Delete", QStringLiteral("削除(&E)"), QKeySequence(Qt::Key_Delete), true),
        &MainWindow::S_DeleteClick);
    editing(addItem(edit, "S_Clear", QStringLiteral("クリア(&C)"), QKeySequence(Qt::CTRL | Qt::Key_Delete), true),
            &ListEditor::clear);
    editing(addItem(edit, "S_Shaffle", QStringLiteral("シャッフル(&S)"), {}, true), &ListEditor::shuffle);
    edit->addSeparator();
    run(addItem(edit, "S_Reload", QStringLiteral("再検査(&X)"), QKeySequence(Qt::Key_F5), true),
        &MainWindow::S_ReloadClick);
    run(addItem(edit, "S_ReloadALL", QStringLiteral("全ファイル再検査(&A)"), QKeySequence(Qt::CTRL | Qt::Key_F5), true),
        &MainWindow::S_ReloadALLClick);
    edit->addSeparator();
    run(addItem(edit, "S_CopyStat", QStringLiteral("詳細のコピー(&P)"), QKeySequence(Qt::CTRL | Qt::Key_C), true),
        &MainWindow::S_CopyStatClick);
    run(addItem(edit, "S_Rename", QStringLiteral("リネーム(&F)"), QKeySequence(Qt::Key_F2), true),
        &MainWindow::S_RenameClick);
    run(addItem(edit, "S_StatusRename", QStringLiteral("詳細付リネーム(&R)"), QKeySequence(Qt::CTRL | Qt::Key_R), true),
        &MainWindow::S_StatusRenameClick);
    edit->addSeparator();
    editing(addItem(edit, "S_AllSelect", QStringLiteral("全て選択(&L)"), QKeySequence(Qt::CTRL | Qt::Key_A), true),
            &ListEditor::selectAll);
    editing(addItem(edit, "S_InverseSelect", QStringLiteral("選択の切り替え(&I)"), {}, true),
            &ListEditor::invertSelection);

    QMenu* search = menuBar()->addMenu(QStringLiteral("検索(&S)"));
    search->setObjectName(QStringLiteral("M_Search"));
    editing(addItem(search, "S_SearchName", QStringLiteral("検索(&F)"), QKeySequence(Qt::CTRL | Qt::Key_F), true),
            &ListEditor::search);
    editing(addItem(search, "S_SearchNext", QStringLiteral("次の候補(&N)"), QKeySequence(Qt::Key_F3), true),
            &ListEditor::findNext);
    editing(addItem(search, "S_SearchPrev", QStringLiteral("前の候補(&P)"), QKeySequence(Qt::SHIFT | Qt::Key_F3), true),
            &ListEditor::findPrevious);

    QMenu* behaviour = menuBar()->addMenu(QStringLiteral("動作(&O)"));
    behaviour->setObjectName(QStringLiteral("M_Option"));
    alwaysOnTop_ =
        addItem(behaviour, "S_AlwaysOnTop", QStringLiteral("常に最前面に表示(&T)"), QKeySequence(Qt::CTRL | Qt::Key_T), true);
    alwaysOnTop_->setCheckable(true);
    connect(alwaysOnTop_, &QAction::triggered, this, &MainWindow::setAlwaysOnTop);
    noSaveList_ = addItem(behaviour, "S_NoSaveList", QStringLiteral("リストを保存しない(&N)"), {}, true);
    noSaveList_->setCheckable(true);
    checkExt_ = addItem(behaviour, "S_CheckExt", QStringLiteral("拡張子自動リネーム(&E)"), {}, true);
    checkExt_->setCheckable(true);
    noSameFile_ = addItem(behaviour, "S_NoSameFile", QStringLiteral("同じファイルは複数登録をしない(&D)"), {}, true);
    noSameFile_->setCheckable(true);
    dirRecursive_ =
        addItem(behaviour, "S_DirRecursive", QStringLiteral("フォルダ読込時にサブフォルダも検索(&S)"), {}, true);
    dirRecursive_->setCheckable(true);
    connect(checkExt_, &QAction::toggled, this, [this](bool on) { controller_.options().checkExt = on; });
    connect(noSameFile_, &QAction::toggled, this, [this](bool on) { controller_.options().noSameFile = on; });
    connect(dirRecursive_, &QAction::toggled, this, [this](bool on) { controller_.options().dirRecursive = on; });
    behaviour->addSeparator();
    run(addItem(behaviour, "S_Font", QStringLiteral("表示フォント(&F)"), {}, true), &MainWindow::S_FontClick);
    QMenu* apps = behaviour->addMenu(QStringLiteral("起動アプリ(&O)"));
    apps->setObjectName(QStringLiteral("S_App"));
    auto* slotGroup = new QActionGroup(this);
    slotGroup->setExclusive(true);
    for (int i = 0; i < 5; ++i) {
        slotItems_[i] = addItem(apps, QStringLiteral("S_App%1").arg(i + 1).toLatin1().constData(), QString(), {}, true);
        slotItems_[i]->setCheckable(true);
        slotGroup->addAction(slotItems_[i]);
    }
    apps->addSeparator();
    run(addItem(apps, "S_AppSetting", QStringLiteral("設定(&O)"), {}, true), &MainWindow::S_AppSettingClick);
    addItem(behaviour, "S_Exec", QStringLiteral("実行(&X)"));  // no sub-items, no action

    QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    help->setObjectName(QStringLiteral("M_Help"));
    run(addItem(help, "S_About", QStringLiteral("バージョン情報(&A)"), {}, true), &MainWindow::S_AboutClick);
    connect(addItem(help, "S_Readme", QStringLiteral("Readme.txt参照(&R)"), {}, true), &QAction::triggered, this,
            [this] { openHelpFile(QStringLiteral("README.TXT")); });
    connect(addItem(help, "S_History", QStringLiteral("History.txt参照(&H)"), {}, true), &QAction::triggered, this,
            [this] { openHelpFile(QStringLiteral("HISTORY.TXT")); });

    // The list's pop-up menu: the same commands without shortcuts (a key
    // bound twice in one window would reach neither item).
    popup_ = new QMenu(this);
    popup_->setObjectName(QStringLiteral("PopupMenu"));
    editing(addItem(popup_, "S2_Up", QStringLiteral("一つ上へ(&U)"), {}, true), &ListEditor::moveUp);
    editing(addItem(popup_, "S2_Down", QStringLiteral("一つ下へ(&D)"), {}, true), &ListEditor::moveDown);
    editing(addItem(popup_, "S2_Top", QStringLiteral("先頭へ(&T)"), {}, true), &ListEditor::moveToTop);
    editing(addItem(popup_, "S2_Bottom", QStringLiteral("最下段へ(&B)"), {}, true), &ListEditor::moveToBottom);
    run(addItem(popup_, "S2_Delete", QStringLiteral("削除(&E)"), {}, true), &MainWindow::S_DeleteClick);
    popup_->addSeparator();
    run(addItem(popup_, "S2_Reload", QStringLiteral("再検査(&X)"), {}, true), &MainWindow::S_ReloadClick);
    run(addItem(popup_, "S2_CopyStat", QStringLiteral("詳細のコピー(&P)"), {}, true), &MainWindow::S_CopyStatClick);
    popup_->addSeparator();
    run(addItem(popup_, "S2_CopyFile", QStringLiteral("選択ファイルのコピー(&C)"), {}, true),
        &MainWindow::S_CopyFileClick);
    run(addItem(popup_, "S2_MoveFile", QStringLiteral("選択ファイルを移動(&M)"), {}, true),
        &MainWindow::S_MoveFileClick);
    run(addItem(popup_, "S2_DeleteFile", QStringLiteral("選択ファイルを削除(&K)"), {}, true),
        &MainWindow::S_DeleteFileClick);
    run(addItem(popup_, "S2_Rename", QStringLiteral("リネーム(&F)"), {}, true), &MainWindow::S_RenameClick);
    run(addItem(popup_, "S2_StatusRename", QStringLiteral("詳細付リネーム(&R)"), {}, true),
        &MainWindow::S_StatusRenameClick);
    popup_->addSeparator();
    QMenu* launch = popup_->addMenu(QStringLiteral("実行"));
    launch->setObjectName(QStringLiteral("S2_Exec"));
    for (int i = 0; i < 5; ++i) {
        popupSlotItems_[i] =
            addItem(launch, QStringLiteral("S2_App%1").arg(i + 1).toLatin1().constData(), QString(), {}, true);
        connect(popupSlotItems_[i], &QAction::triggered, this, [this, i] { launchSlot(i); });
    }
    popup_->addSeparator();
    run(addItem(popup_, "S2_Property", QStringLiteral("プロパティ(&O)"), {}, true), &MainWindow::S_PropertyClick);

    // ESC while files are examined.
    auto* escape = new QAction(this);
    escape->setObjectName(QStringLiteral("StopAnalysis"));
    escape->setShortcut(QKeySequence(Qt::Key_Escape));
    escape->setShortcutContext(Qt::WindowShortcut);
    connect(escape, &QAction::triggered, this, &MainWindow::onEscape);
    addAction(escape);
}

void MainWindow::applySettings() {
    move(settings_.mainX, settings_.mainY);
    resize(settings_.mainW, settings_.mainH);
    for (int c = 0; c < ColumnCount; ++c) view_->setColumnWidth(c, settings_.columns[static_cast<size_t>(c)]);
    noSaveList_->setChecked(settings_.noSaveList);
    noSameFile_->setChecked(settings_.noSameFile);
    dirRecursive_->setChecked(settings_.dirRecursive);
    controller_.options().noSameFile = settings_.noSameFile;
    controller_.options().dirRecursive = settings_.dirRecursive;
    checkExt_->setChecked(settings_.checkExt);
    controller_.options().checkExt = settings_.checkExt;
    alwaysOnTop_->setChecked(settings_.alwaysOnTop);
    if (settings_.alwaysOnTop) setAlwaysOnTop(true);
    applyListFont();
    applySlotCaptions();
    slotItems_[std::clamp(settings_.appSelected, 0, 4)]->setChecked(true);
    dialogDir_ = settings_.dir;
}

void MainWindow::applySlotCaptions() {
    for (int i = 0; i < 5; ++i) {
        const QString& caption = settings_.apps[static_cast<size_t>(i)].caption;
        slotItems_[i]->setText(caption);
        popupSlotItems_[i]->setText(caption);
    }
}

void MainWindow::applyListFont() {
    QFont font(settings_.fontName);
    if (settings_.fontSize > 0) font.setPointSize(settings_.fontSize);
    font.setBold(settings_.fontBold);
    font.setItalic(settings_.fontItalic);
    font.setUnderline(settings_.fontUnderline);
    font.setStrikeOut(settings_.fontStrikeOut);
    view_->setFont(font);
    view_->verticalHeader()->setDefaultSectionSize(QFontMetrics(font).height() + 4);
}

int MainWindow::checkedSlot() const {
    // The highest-numbered checked slot, 0 when none is.
    for (int i = 4; i >= 0; --i)
        if (slotItems_[i]->isChecked()) return i;
    return 0;
}

void MainWindow::collectSettings() {
    settings_.mainX = x();
    settings_.mainY = y();
    settings_.mainW = width();
    settings_.mainH = height();
    for (int c = 0; c < ColumnCount; ++c) settings_.columns[static_cast<size_t>(c)] = view_->columnWidth(c);
    settings_.dir = dialogDir_;
    settings_.noSaveList = noSaveList_->isChecked();
    settings_.noSameFile = noSameFile_->isChecked();
    settings_.dirRecursive = dirRecursive_->isChecked();
    settings_.checkExt = checkExt_->isChecked();
    settings_.alwaysOnTop = alwaysOnTop_->isChecked();
    settings_.appSelected = checkedSlot();
    const QFont font = view_->font();
    settings_.fontName = font.family();
    settings_.fontSize = font.pointSize() > 0 ? font.pointSize() : settings_.fontSize;
    settings_.fontBold = font.bold();
    settings_.fontItalic = font.italic();
    settings_.fontUnderline = font.underline();
    settings_.fontStrikeOut = font.strikeOut();
}

QString MainWindow::statusText(int panel) const {
    switch (panel) {
    case 0: return countPanel_->text();
    case 1: return focusPanel_->text();
    case 2: return progressPanel_->text();
    }
    return {};
}

bool MainWindow::isIdle() const { return started_ && ready_ && !controller_.isBusy() && !handingOver_; }

QList<int> MainWindow::selectedRows() {
    controller_.commitRows();
    QList<int> rows;
    for (const QModelIndex& index : view_->selectionModel()->selectedRows()) rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void MainWindow::updateCountPanel() { countPanel_->setText(QString::number(model_.count())); }

// What the idle event showed: the focused row counted from 1, or nothing.
void MainWindow::updateFocusPanel() {
    const QModelIndex current = view_->selectionModel()->currentIndex();
    focusPanel_->setText(current.isValid() ? QString::number(current.row() + 1) : QString());
}

void MainWindow::scrollToFirstSelected() {
    if (!view_->selectionModel()->currentIndex().isValid()) return;
    const QList<int> rows = selectedRows();
    if (!rows.isEmpty()) view_->scrollTo(model_.index(rows.first(), 0));
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!startQueued_) {
        startQueued_ = true;
        QTimer::singleShot(0, this, &MainWindow::start);
    }
}

// After the first showing: bind the library, read the user's own list, then
// the files of the command line and whatever later starts handed over.
void MainWindow::start() {
    if (started_ || shutDown_) return;
    started_ = true;
    const BindOutcome bound = binding_.bind(paths_.programDir);
    if (bound.status != BindStatus::Bound) {
        bindingFailed_ = true;
        prompter_.error(QStringLiteral("エラー"), bound.message);
        emit startFinished();
        close();
        return;
    }
    controller_.setLibrary(&binding_);
    if (QFileInfo::exists(paths_.ownListPath)) controller_.loadOwnList(paths_.ownListPath);
    ready_ = true;
    handingOver_ = true;  // hand-overs wait for the command line
    QElapsedTimer timer;
    timer.start();
    if (!closePending_) controller_.addPaths(options_.arguments);
    if (options_.quitWhenIdle)
        std::fprintf(stderr, "veskolite: %d rows listed in %.3f s\n", model_.count(),
                     static_cast<double>(timer.nsecsElapsed()) / 1e9);
    handingOver_ = false;
    processHandOvers();
    emit startFinished();
    if (options_.quitWhenIdle || closePending_) QTimer::singleShot(0, this, &QWidget::close);
}

void MainWindow::receiveHandedOverPath(const QString& path) {
    handOvers_ << path;
    processHandOvers();
}

void MainWindow::bringToFront() {
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
}

// One batch per handed-over path, in the order they came; a path that
// arrives while one is examined waits for its turn.
void MainWindow::processHandOvers() {
    if (!ready_ || handingOver_ || shutDown_) return;
    handingOver_ = true;
    while (!handOvers_.isEmpty() && !closePending_) {
        const QString path = handOvers_.takeFirst();
        bringToFront();
        controller_.addPaths({path});
    }
    handingOver_ = false;
    if (closePending_) QTimer::singleShot(0, this, &QWidget::close);
}

void MainWindow::onBusyChanged(bool busy) {
    if (busy) {
        throttle_->start();
        return;
    }
    throttle_->stop();
    if (closePending_) QTimer::singleShot(0, this, &QWidget::close);
}

void MainWindow::onEscape() {
    if (controller_.isFileOperationRunning()) {
        if (prompter_.confirm(QStringLiteral("確認"),
                              QStringLiteral("現在のファイルを最後に処理を中止します。よろしいですか?")))
            controller_.requestStop();
        return;
    }
    if (!controller_.isAnalysisRunning()) return;
    if (prompter_.confirm(QStringLiteral("確認"),
                          QStringLiteral("現在解析中のファイルを最後に解析を中止します。よろしいですか?")))
        controller_.requestStop();
}

// Closing waits for running loops: they are asked to stop, and the window
// closes once the last one has returned. Only then is the list saved, the
// library unloaded and the settings written.
void MainWindow::closeEvent(QCloseEvent* event) {
    if (bindingFailed_ || shutDown_) {
        event->accept();
        return;
    }
    if (controller_.isBusy() || handingOver_) {
        closePending_ = true;
        controller_.requestStop();
        event->ignore();
        return;
    }
    shutDown_ = true;
    if (ready_) {
        if (!noSaveList_->isChecked()) controller_.saveOwnListOnClose(paths_.ownListPath);
        controller_.setLibrary(nullptr);
        binding_.unload();
        collectSettings();
        writeSettings(paths_.settingsPath, settings_);
    }
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        for (const QUrl& url : event->mimeData()->urls()) {
            if (url.isLocalFile()) {
                event->acceptProposedAction();
                return;
            }
        }
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << QDir::toNativeSeparators(QFileInfo(url.toLocalFile()).absoluteFilePath());
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    // Examined after the drop returns, so the source is not held meanwhile.
    QTimer::singleShot(0, this, [this, paths] {
        if (ready_ && !closePending_ && !shutDown_) controller_.addPaths(paths);
    });
}

void MainWindow::S_OpenClick() {
    if (!ready_) return;
    const QStringList chosen = QFileDialog::getOpenFileNames(this, QStringLiteral("とにかくなんか開く"), dialogDir_,
                                                             QStringLiteral("開けそうなの全部 (*)"));
    if (chosen.isEmpty()) return;
    dialogDir_ = folderOf(chosen.first());
    QStringList paths;
    for (const QString& path : chosen) paths << QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    controller_.analyzeFiles(paths);
}

void MainWindow::S_OpenFolderClick() {
    if (!ready_) return;
    const QString folder = chooseFolder(QStringLiteral("読み込むフォルダを選択"));
    if (folder.isEmpty()) return;
    controller_.analyzeFiles(ListController::enumerateFolder(folder, dirRecursive_->isChecked()));
}

// The folder dialog; the chosen folder is the next one's initial folder.
QString MainWindow::chooseFolder(const QString& title) {
    const QString folder = chooseFolder_ ? chooseFolder_(title, folderDir_)
                                         : QFileDialog::getExistingDirectory(this, title, folderDir_);
    if (folder.isEmpty()) return {};
    folderDir_ = QDir::toNativeSeparators(folder);
    return folderDir_;
}

void MainWindow::S_PropertyClick() {
    controller_.commitRows();
    const QModelIndex current = view_->selectionModel()->currentIndex();
    if (!current.isValid()) return;
    showFileProperties(this, model_.entry(current.row()));
}

void MainWindow::S_SaveClick() { saveList(false); }

void MainWindow::S_SaveSelectedClick() { saveList(true); }

void MainWindow::saveList(bool selectedOnly) {
    controller_.commitRows();
    QList<int> rows;
    if (selectedOnly) rows = selectedRows();
    else
        for (int row = 0; row < model_.count(); ++row) rows << row;
    const QList<FileEntry> entries = model_.entriesAt(rows);

    ListFormat format = ListFormat::Own;
    QString suggested;
    for (;;) {
        const auto chosen = chooseSavePath_ ? chooseSavePath_(format, suggested) : askSavePath(format, suggested);
        if (!chosen) return;
        const QString path = QDir::toNativeSeparators(chosen->first);
        format = chosen->second;
        dialogDir_ = folderOf(path);

        // The rows as they were when the command started, even if a batch
        // added rows while the dialog was open.
        const ListWriteResult result = writeListFile(path, format, entries, controller_.eightBitEncoder());
        if (result.status == ListWriteResult::Failed) {
            prompter_.error(listWriteErrorCaption(format), result.error);
            return;
        }
        if (result.status != ListWriteResult::Unwritable) return;

        QString names;
        for (qsizetype i = 0; i < result.unwritable.size() && i < kMaxNamedEntries; ++i)
            names += result.unwritable[i] + QStringLiteral("\r\n");
        if (result.unwritable.size() > kMaxNamedEntries)
            names += QStringLiteral("ほか%1件\r\n").arg(result.unwritable.size() - kMaxNamedEntries);
        const QString text = QStringLiteral("次のファイルはこの形式では書き込めません:\r\n\r\n") + names;
        if (!usesEightBitEncoding(format)) {
            prompter_.error(listWriteErrorCaption(format), text);
            return;
        }
        if (!prompter_.confirm(listWriteErrorCaption(format),
                               text + QStringLiteral("\r\nUTF-8の*.m3u8形式で保存しますか?")))
            return;
        format = ListFormat::M3u8;
        suggested = QFileInfo(path).completeBaseName() + QStringLiteral(".m3u8");
    }
}

std::optional<std::pair<QString, ListFormat>> MainWindow::askSavePath(ListFormat offered, const QString& suggested) {
    ListSaveDialog dialog(this, dialogDir_);
    dialog.selectFormat(offered);
    if (!suggested.isEmpty()) dialog.selectFile(suggested);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return std::make_pair(dialog.selectedFiles().first(), dialog.format());
}

void MainWindow::S_ExitClick() { close(); }

void MainWindow::S_DeleteClick() { controller_.removeRows(selectedRows()); }

void MainWindow::S_ReloadClick() {
    if (ready_) controller_.reexamine(selectedRows());
}

void MainWindow::S_ReloadALLClick() {
    if (!ready_) return;
    view_->setEnabled(false);
    controller_.reexamineAll();
    view_->setEnabled(true);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier) {
            launchSlot(checkedSlot());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

int MainWindow::focusedRow() {
    controller_.commitRows();
    const QModelIndex current = view_->selectionModel()->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void MainWindow::edit(void (ListEditor::*command)()) {
    controller_.commitRows();
    ((*editor_).*command)();
}

void MainWindow::S_CopyFileClick() {
    if (!ready_ || controller_.isFileOperationRunning()) return;
    if (selectedRows().isEmpty()) return;
    const QString folder = chooseFolder(QStringLiteral("コピー先のフォルダを選択"));
    if (folder.isEmpty()) return;
    controller_.copyFiles(selectedRows(), folder);
}

void MainWindow::S_MoveFileClick() {
    if (!ready_ || controller_.isFileOperationRunning()) return;
    if (selectedRows().isEmpty()) return;
    const QString folder = chooseFolder(QStringLiteral("移動先のフォルダを選択"));
    if (folder.isEmpty()) return;
    controller_.moveFiles(selectedRows(), folder);
}

void MainWindow::S_DeleteFileClick() {
    if (!ready_ || controller_.isFileOperationRunning()) return;
    const QList<int> rows = selectedRows();
    if (!rows.isEmpty()) controller_.deleteFiles(rows);
}

void MainWindow::S_RenameClick() {
    if (!ready_ || controller_.isFileOperationRunning()) return;
    const int row = focusedRow();
    if (row >= 0) controller_.renameEntry(row);
}

void MainWindow::S_StatusRenameClick() {
    if (!ready_) return;
    controller_.renameWithDetails(selectedRows());
}

void MainWindow::S_CopyStatClick() {
    if (!ready_) return;
    const std::optional<QString> text = controller_.copyDetails(selectedRows(), windowTitle());
    if (text) QGuiApplication::clipboard()->setText(*text);
}

void MainWindow::setAlwaysOnTop(bool on) {
    if (alwaysOnTop_->isChecked() != on) alwaysOnTop_->setChecked(on);
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) return;
    // Changing the flag hides the window; it comes back where it was.
    const bool visible = isVisible();
    const QRect frame = geometry();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (visible) {
        setGeometry(frame);
        show();
    }
}

void MainWindow::S_FontClick() {
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, view_->font(), this, QStringLiteral("表示フォント"));
    if (!ok) return;
    settings_.fontName = font.family();
    if (font.pointSize() > 0) settings_.fontSize = font.pointSize();
    settings_.fontBold = font.bold();
    settings_.fontItalic = font.italic();
    settings_.fontUnderline = font.underline();
    settings_.fontStrikeOut = font.strikeOut();
    applyListFont();
}

QDialog* MainWindow::createAppSelectDialog() {
    auto* dialog = new AppSelectDialog(settings_.apps[static_cast<size_t>(checkedSlot())], prompter_, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    const int slot = checkedSlot();
    connect(dialog, &QDialog::accepted, this, [this, dialog, slot] {
        settings_.apps[static_cast<size_t>(slot)] = dialog->slot();
        applySlotCaptions();
    });
    return dialog;
}

void MainWindow::S_AppSettingClick() { createAppSelectDialog()->exec(); }

void MainWindow::launchSlot(int slot) {
    if (slot < 0 || slot > 4) return;
    const int row = focusedRow();
    if (row < 0) return;
    launchApp(*launcher_, prompter_, settings_.apps[static_cast<size_t>(slot)], model_.entry(row).fullPath);
}

QDialog* MainWindow::createAboutDialog() {
    auto* dialog = new AboutDialog(windowTitle(), binding_.dllVersion(), binding_.hasUnicodeExport(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    return dialog;
}

void MainWindow::S_AboutClick() { createAboutDialog()->exec(); }

void MainWindow::openHelpFile(const QString& name) {
    const QString path = QDir(paths_.programDir).filePath(name);
    if (!QFileInfo::exists(path)) {
        prompter_.error(QStringLiteral("エラー"), QStringLiteral("%1が見つかりません\r\n\r\n%2").arg(name, path));
        return;
    }
    if (!openUrl_ || !openUrl_(QUrl::fromLocalFile(path)))
        prompter_.error(QStringLiteral("エラー"), QStringLiteral("%1を開けませんでした").arg(name));
}

}  // namespace vesko::lite
