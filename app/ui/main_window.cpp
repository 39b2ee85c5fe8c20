#include "main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <cstdio>

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

    buildMenus();

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

// Items of commands that VeskoLite does not offer yet are present and
// disabled. Where two items of one menu shared an accelerator letter, the
// later one has another letter, so that each letter reaches one item.
void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("M_File"));
    connect(addItem(file, "S_Open", QStringLiteral("開く(&O)"), QKeySequence(Qt::CTRL | Qt::Key_O), true),
            &QAction::triggered, this, &MainWindow::S_OpenClick);
    connect(addItem(file, "S_OpenFolder", QStringLiteral("フォルダを開く(&F)"), {}, true), &QAction::triggered, this,
            &MainWindow::S_OpenFolderClick);
    connect(addItem(file, "S_Property", QStringLiteral("プロパティ(&P)"), {}, true), &QAction::triggered, this,
            &MainWindow::S_PropertyClick);
    file->addSeparator();
    connect(addItem(file, "S_Save", QStringLiteral("リストの保存(&A)"), QKeySequence(Qt::CTRL | Qt::Key_S), true),
            &QAction::triggered, this, &MainWindow::S_SaveClick);
    connect(addItem(file, "S_SaveSelected", QStringLiteral("選択範囲のリスト保存(&E)"),
                    QKeySequence(Qt::CTRL | Qt::Key_E), true),
            &QAction::triggered, this, &MainWindow::S_SaveSelectedClick);
    file->addSeparator();
    addItem(file, "S_CopyFile", QStringLiteral("選択ファイルのコピー(&C)"));
    addItem(file, "S_MoveFile", QStringLiteral("選択ファイルを移動(&M)"));
    addItem(file, "S_DeleteFile", QStringLiteral("選択ファイルを削除(&D)"));
    file->addSeparator();
    connect(addItem(file, "S_Exit", QStringLiteral("閉じる(&X)"), {}, true), &QAction::triggered, this,
            &MainWindow::S_ExitClick);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("リスト編集(&L)"));
    edit->setObjectName(QStringLiteral("M_Edit"));
    addItem(edit, "S_Up", QStringLiteral("一つ上へ(&U)"), QKeySequence(Qt::ALT | Qt::Key_Up));
    addItem(edit, "S_Down", QStringLiteral("一つ下へ(&D)"), QKeySequence(Qt::ALT | Qt::Key_Down));
    addItem(edit, "S_Top", QStringLiteral("先頭へ(&T)"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Up));
    addItem(edit, "S_Bottom", QStringLiteral("最下段へ(&B)"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Down));
    connect(addItem(edit, "S_Delete", QStringLiteral("削除(&E)"), QKeySequence(Qt::Key_Delete), true),
            &QAction::triggered, this, &MainWindow::S_DeleteClick);
    addItem(edit, "S_Clear", QStringLiteral("クリア(&C)"), QKeySequence(Qt::CTRL | Qt::Key_Delete));
    addItem(edit, "S_Shaffle", QStringLiteral("シャッフル(&S)"));
    edit->addSeparator();
    connect(addItem(edit, "S_Reload", QStringLiteral("再検査(&X)"), QKeySequence(Qt::Key_F5), true),
            &QAction::triggered, this, &MainWindow::S_ReloadClick);
    connect(addItem(edit, "S_ReloadALL", QStringLiteral("全ファイル再検査(&A)"), QKeySequence(Qt::CTRL | Qt::Key_F5),
                    true),
            &QAction::triggered, this, &MainWindow::S_ReloadALLClick);
    edit->addSeparator();
    addItem(edit, "S_CopyStat", QStringLiteral("詳細のコピー(&P)"), QKeySequence(Qt::CTRL | Qt::Key_C));
    addItem(edit, "S_Rename", QStringLiteral("リネーム(&F)"), QKeySequence(Qt::Key_F2));
    addItem(edit, "S_StatusRename", QStringLiteral("詳細付リネーム(&R)"), QKeySequence(Qt::CTRL | Qt::Key_R));
    edit->addSeparator();
    addItem(edit, "S_AllSelect", QStringLiteral("全て選択(&L)"), QKeySequence(Qt::CTRL | Qt::Key_A));
    addItem(edit, "S_InverseSelect", QStringLiteral("選択の切り替え(&I)"));

    QMenu* search = menuBar()->addMenu(QStringLiteral("検索(&S)"));
    search->setObjectName(QStringLiteral("M_Search"));
    addItem(search, "S_SearchName", QStringLiteral("検索(&F)"), QKeySequence(Qt::CTRL | Qt::Key_F));
    addItem(search, "S_SearchNext", QStringLiteral("次の候補(&N)"), QKeySequence(Qt::Key_F3));
    addItem(search, "S_SearchPrev", QStringLiteral("前の候補(&P)"), QKeySequence(Qt::SHIFT | Qt::Key_F3));

    QMenu* behaviour = menuBar()->addMenu(QStringLiteral("動作(&O)"));
    behaviour->setObjectName(QStringLiteral("M_Option"));
    addItem(behaviour, "S_AlwaysOnTop", QStringLiteral("常に最前面に表示(&T)"), QKeySequence(Qt::CTRL | Qt::Key_T))
        ->setCheckable(true);
    noSaveList_ = addItem(behaviour, "S_NoSaveList", QStringLiteral("リストを保存しない(&N)"), {}, true);
    noSaveList_->setCheckable(true);
    addItem(behaviour, "S_CheckExt", QStringLiteral("拡張子自動リネーム(&E)"))->setCheckable(true);
    noSameFile_ = addItem(behaviour, "S_NoSameFile", QStringLiteral("同じファイルは複数登録をしない(&D)"), {}, true);
    noSameFile_->setCheckable(true);
    dirRecursive_ =
        addItem(behaviour, "S_DirRecursive", QStringLiteral("フォルダ読込時にサブフォルダも検索(&S)"), {}, true);
    dirRecursive_->setCheckable(true);
    connect(noSameFile_, &QAction::toggled, this, [this](bool on) { controller_.options().noSameFile = on; });
    connect(dirRecursive_, &QAction::toggled, this, [this](bool on) { controller_.options().dirRecursive = on; });
    behaviour->addSeparator();
    addItem(behaviour, "S_Font", QStringLiteral("表示フォント(&F)"));
    QMenu* apps = behaviour->addMenu(QStringLiteral("起動アプリ(&O)"));
    apps->setObjectName(QStringLiteral("S_App"));
    auto* slotGroup = new QActionGroup(this);
    for (int i = 0; i < 5; ++i) {
        QAction* slot = addItem(apps, QStringLiteral("S_App%1").arg(i + 1).toLatin1().constData(), QString());
        slot->setCheckable(true);
        slotGroup->addAction(slot);
    }
    apps->addSeparator();
    addItem(apps, "S_AppSetting", QStringLiteral("設定(&O)"));
    addItem(behaviour, "S_Exec", QStringLiteral("実行(&X)"));

    QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    help->setObjectName(QStringLiteral("M_Help"));
    addItem(help, "S_About", QStringLiteral("バージョン情報(&A)"));
    addItem(help, "S_Readme", QStringLiteral("Readme.txt参照(&R)"));
    addItem(help, "S_History", QStringLiteral("History.txt参照(&H)"));

    // The list's pop-up menu: the same commands without shortcuts (a key
    // bound twice in one window would reach neither item).
    popup_ = new QMenu(this);
    popup_->setObjectName(QStringLiteral("PopupMenu"));
    addItem(popup_, "S2_Up", QStringLiteral("一つ上へ(&U)"));
    addItem(popup_, "S2_Down", QStringLiteral("一つ下へ(&D)"));
    addItem(popup_, "S2_Top", QStringLiteral("先頭へ(&T)"));
    addItem(popup_, "S2_Bottom", QStringLiteral("最下段へ(&B)"));
    connect(addItem(popup_, "S2_Delete", QStringLiteral("削除(&E)"), {}, true), &QAction::triggered, this,
            &MainWindow::S_DeleteClick);
    popup_->addSeparator();
    connect(addItem(popup_, "S2_Reload", QStringLiteral("再検査(&X)"), {}, true), &QAction::triggered, this,
            &MainWindow::S_ReloadClick);
    addItem(popup_, "S2_CopyStat", QStringLiteral("詳細のコピー(&P)"));
    popup_->addSeparator();
    addItem(popup_, "S2_CopyFile", QStringLiteral("選択ファイルのコピー(&C)"));
    addItem(popup_, "S2_MoveFile", QStringLiteral("選択ファイルを移動(&M)"));
    addItem(popup_, "S2_DeleteFile", QStringLiteral("選択ファイルを削除(&K)"));
    addItem(popup_, "S2_Rename", QStringLiteral("リネーム(&F)"));
    addItem(popup_, "S2_StatusRename", QStringLiteral("詳細付リネーム(&R)"));
    popup_->addSeparator();
    QMenu* run = popup_->addMenu(QStringLiteral("実行"));
    run->setObjectName(QStringLiteral("S2_Exec"));
    for (int i = 0; i < 5; ++i) addItem(run, QStringLiteral("S2_App%1").arg(i + 1).toLatin1().constData(), QString());
    popup_->addSeparator();
    connect(addItem(popup_, "S2_Property", QStringLiteral("プロパティ(&O)"), {}, true), &QAction::triggered, this,
            &MainWindow::S_PropertyClick);

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
    if (QAction* a = findChild<QAction*>(QStringLiteral("S_CheckExt"))) a->setChecked(settings_.checkExt);
    if (QAction* a = findChild<QAction*>(QStringLiteral("S_AlwaysOnTop"))) a->setChecked(settings_.alwaysOnTop);
    for (int i = 0; i < 5; ++i) {
        const QString& caption = settings_.apps[static_cast<size_t>(i)].caption;
        if (QAction* a = findChild<QAction*>(QStringLiteral("S_App%1").arg(i + 1))) {
            a->setText(caption);
            a->setChecked(i == settings_.appSelected);
        }
        if (QAction* a = findChild<QAction*>(QStringLiteral("S2_App%1").arg(i + 1))) a->setText(caption);
    }
    dialogDir_ = settings_.dir;
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
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("読み込むフォルダを選択"), folderDir_);
    if (folder.isEmpty()) return;
    folderDir_ = folder;
    controller_.analyzeFiles(ListController::enumerateFolder(folder, dirRecursive_->isChecked()));
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

}  // namespace vesko::lite
