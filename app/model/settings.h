// Where the user's own list and settings live, and the settings themselves
// (UTF-16LE INI text with a byte-order mark, section "Main").
#pragma once

#include <QString>
#include <array>

namespace vesko::lite {

struct AppPaths {
    QString programDir;    // the library and its data files
    QString storeDir;      // the user's own list and settings
    QString userSuffix;    // "_" + user name, or empty
    QString ownListPath;   // storeDir/VeskoLite<suffix>.zvmtl
    QString settingsPath;  // storeDir/VeskoLite<suffix>.ini
};

// The files go beside the program; when its folder is not writable (an
// installed program) into `configDir` instead.
AppPaths resolveAppPaths(const QString& programDir, const QString& userName, bool programDirWritable,
                         const QString& configDir);
// The folder used instead: the user's XDG configuration folder + "/VeskoLite".
QString defaultConfigDir();
// Whether files can be created in the folder.
bool isFolderWritable(const QString& folder);

struct AppSlot {
    QString caption;
    QString program;
    QString optionsBefore;
    QString optionsAfter;
    bool operator==(const AppSlot&) const = default;
};

struct Settings {
    int mainX = 300;
    int mainY = 300;
    int mainW = 480;
    int mainH = 250;
    std::array<int, 4> columns{150, 200, 100, 120};
    bool checkExt = false;
    bool noSaveList = true;
    bool alwaysOnTop = false;
    bool noSameFile = false;
    bool dirRecursive = false;
    QString fontName = QStringLiteral("Tahoma");
    int fontSize = 8;
    bool fontBold = false;
    bool fontItalic = false;
    bool fontUnderline = false;
    bool fontStrikeOut = false;
    int appSelected = 0;
    std::array<AppSlot, 5> apps = defaultApps();
    QString dir;

    static std::array<AppSlot, 5> defaultApps();
    bool operator==(const Settings&) const = default;
};

// Missing file or keys take the defaults.
Settings readSettings(const QString& path);
// Atomic: a failed write leaves the old file. Returns false on failure.
bool writeSettings(const QString& path, const Settings& settings, QString* error = nullptr);

}  // namespace vesko::lite
