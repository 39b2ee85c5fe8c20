// The main window TVKR_MAIN: the file list, its menus, the status bar, and
// the start-up and closing steps around them.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "binding.h"
#include "file_list_model.h"
#include "launch.h"
#include "list_controller.h"
#include "list_editing.h"
#include "settings.h"

class QTableView;
class QMenu;
class QAction;
class QUrl;

namespace vesko::lite {

class PaintThrottle;
class StatusPanel;

struct StartOptions {
    QString programDir;      // the library and FORMAT.INI / CODECS.INI
    QStringList arguments;   // absolute paths from the command line
    QString userName;        // for the names of the user's own files
    QString configDir;       // used when programDir is not writable
    bool quitWhenIdle = false;  // measurement runs: close after the start-up batch
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(const StartOptions& options, Prompter& prompter, QWidget* parent = nullptr);
    ~MainWindow() override;

    FileListModel& model() { return model_; }
    ListController& controller() { return controller_; }
    LibraryBinding& binding() { return binding_; }
    QTableView* view() const { return view_; }
    QMenu* popupMenu() const { return popup_; }
    const AppPaths& paths() const { return paths_; }
    const Settings& settings() const { return settings_; }
    QString statusText(int panel) const;

    bool bindingFailed() const { return bindingFailed_; }
    // The start-up steps after the first showing have run (or failed).
    bool hasStarted() const { return started_; }
    // Started, bound, and no loop running.
    bool isIdle() const;
    // The save command's dialog: given the format and file name to offer,
    // the chosen path and format, or nothing when cancelled. Tests answer
    // in place of the dialog.
    using SavePathChooser =
        std::function<std::optional<std::pair<QString, ListFormat>>(ListFormat offered, const QString& suggested)>;
    void setSavePathChooser(SavePathChooser chooser) { chooseSavePath_ = std::move(chooser); }
    void saveList(bool selectedOnly);

    // Rows in list order that are selected (rows examined but not yet shown
    // are committed first, so the numbers stay right afterwards).
    QList<int> selectedRows();

    ListEditor& editor() { return *editor_; }
    // The folder dialog of the copy, move and open-folder commands: the
    // chosen folder, or empty when cancelled. Tests answer in its place.
    using FolderChooser = std::function<QString(const QString& title, const QString& initial)>;
    void setFolderChooser(FolderChooser chooser) { chooseFolder_ = std::move(chooser); }
    // Where applications are started (not owned); nullptr: the system.
    void setLauncher(Launcher* launcher) { launcher_ = launcher ? launcher : &systemLauncher_; }
    // Opens README.TXT and HISTORY.TXT (default: the desktop's default
    // application).
    using UrlOpener = std::function<bool(const QUrl&)>;
    void setUrlOpener(UrlOpener opener) { openUrl_ = std::move(opener); }
    // The application slots: the checked one (0 to 4), and a launch of
    // slot `slot` on the focused file.
    int checkedSlot() const;
    void launchSlot(int slot);
    // The About dialog and the application dialog, made as the commands
    // make them (the commands show them modally).
    QDialog* createAboutDialog();
    QDialog* createAppSelectDialog();

public slots:
    // A path handed over by a later start: each is its own batch.
    void receiveHandedOverPath(const QString& path);
    void bringToFront();

signals:
    void startFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    QAction* addItem(QMenu* menu, const char* name, const QString& caption, const QKeySequence& key = {},
                     bool enabled = false);
    void start();
    void applySettings();
    void collectSettings();
    void processHandOvers();
    void updateCountPanel();
    void updateFocusPanel();
    void scrollToFirstSelected();
    void onBusyChanged(bool busy);
    void onEscape();

    // Commands (named after the menu items).
    void S_OpenClick();
    void S_OpenFolderClick();
    void S_PropertyClick();
    void S_SaveClick();
    void S_SaveSelectedClick();
    void S_ExitClick();
    void S_DeleteClick();
    void S_ReloadClick();
    void S_ReloadALLClick();
    void S_CopyFileClick();
    void S_MoveFileClick();
    void S_DeleteFileClick();
    void S_RenameClick();
    void S_StatusRenameClick();
    void S_CopyStatClick();
    void S_FontClick();
    void S_AppSettingClick();
    void S_AboutClick();
    void openHelpFile(const QString& name);
    void setAlwaysOnTop(bool on);
    void applyListFont();
    void applySlotCaptions();
    QString chooseFolder(const QString& title);
    int focusedRow();
    // Runs a command of the editor on the rows as they are now.
    void edit(void (ListEditor::*command)());
    std::optional<std::pair<QString, ListFormat>> askSavePath(ListFormat offered, const QString& suggested);

    StartOptions options_;
    Prompter& prompter_;
    AppPaths paths_;
    Settings settings_;
    FileListModel model_;
    ListController controller_;
    LibraryBinding binding_;

    QTableView* view_ = nullptr;
    QMenu* popup_ = nullptr;
    StatusPanel* countPanel_ = nullptr;
    StatusPanel* focusPanel_ = nullptr;
    StatusPanel* progressPanel_ = nullptr;
    PaintThrottle* throttle_ = nullptr;
    QAction* noSaveList_ = nullptr;
    QAction* noSameFile_ = nullptr;
    QAction* dirRecursive_ = nullptr;
    QAction* checkExt_ = nullptr;
    QAction* alwaysOnTop_ = nullptr;
    QAction* slotItems_[5] = {};
    QAction* popupSlotItems_[5] = {};
    std::unique_ptr<ListEditor> editor_;
    ProcessLauncher systemLauncher_;
    Launcher* launcher_ = &systemLauncher_;
    FolderChooser chooseFolder_;
    UrlOpener openUrl_;

    SavePathChooser chooseSavePath_;
    QString dialogDir_;  // open and save dialogs ("Dir")
    QString folderDir_;  // the folder dialog's last choice
    QStringList handOvers_;
    bool handingOver_ = false;
    bool startQueued_ = false;
    bool started_ = false;
    bool ready_ = false;
    bool bindingFailed_ = false;
    bool closePending_ = false;
    bool shutDown_ = false;
};

}  // namespace vesko::lite
