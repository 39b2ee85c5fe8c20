#include "settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryFile>

#include "list_files.h"

namespace vesko::lite {

namespace {

const QString kBaseName = QStringLiteral("VeskoLite");

QString oneLine(QString text) {
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

}  // namespace

AppPaths resolveAppPaths(const QString& programDir, const QString& userName, bool programDirWritable,
                         const QString& configDir) {
    AppPaths paths;
    paths.programDir = QDir(programDir).absolutePath();
    paths.storeDir = programDirWritable ? paths.programDir : QDir(configDir).absolutePath();
    paths.userSuffix = userName.isEmpty() ? QString() : u'_' + userName;
    QDir store(paths.storeDir);
    paths.ownListPath = QDir::toNativeSeparators(store.filePath(kBaseName + paths.userSuffix + QStringLiteral(".zvmtl")));
    paths.settingsPath = QDir::toNativeSeparators(store.filePath(kBaseName + paths.userSuffix + QStringLiteral(".ini")));
    return paths;
}

QString defaultConfigDir() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/") + kBaseName;
}

bool isFolderWritable(const QString& folder) {
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".veskolite-probe-XXXXXX")));
    return probe.open();
}

std::array<AppSlot, 5> Settings::defaultApps() {
    std::array<AppSlot, 5> apps;
    for (int i = 0; i < 5; ++i) apps[static_cast<size_t>(i)].caption = QStringLiteral("未設定%1").arg(i);
    return apps;
}

Settings readSettings(const QString& path) {
    Settings s;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return s;
    // The same text rules as the UTF-16 list files: byte-order mark first.
    const QString text = decodeListText(file.readAll(), ListFormat::Own);

    QHash<QString, QString> values;  // keys of section "Main", lower case
    bool inMain = false;
    for (QString line : text.split(u'\n')) {
        line = line.trimmed();
        if (line.startsWith(u'[')) {
            inMain = line.compare(QStringLiteral("[Main]"), Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inMain || line.startsWith(u';')) continue;
        qsizetype eq = line.indexOf(u'=');
        if (eq <= 0) continue;
        values.insert(line.left(eq).trimmed().toLower(), line.mid(eq + 1));
    }

    auto integer = [&](const char* key, int& target) {
        auto it = values.constFind(QString::fromLatin1(key).toLower());
        if (it == values.cend()) return;
        bool ok = false;
        int v = it->trimmed().toInt(&ok);
        if (ok) target = v;
    };
    auto boolean = [&](const char* key, bool& target) {
        auto it = values.constFind(QString::fromLatin1(key).toLower());
        if (it == values.cend()) return;
        QString v = it->trimmed().toLower();
        if (v == u"1" || v == u"true") target = true;
        else if (v == u"0" || v == u"false") target = false;
    };
    auto text_ = [&](const QString& key, QString& target) {
        auto it = values.constFind(key.toLower());
        if (it != values.cend()) target = *it;
    };

    integer("MainX", s.mainX);
    integer("MainY", s.mainY);
    integer("MainW", s.mainW);
    integer("MainH", s.mainH);
    for (int i = 0; i < 4; ++i) integer(QStringLiteral("MainColumn%1").arg(i).toLatin1().constData(), s.columns[i]);
    boolean("CheckExt", s.checkExt);
    boolean("NoSaveList", s.noSaveList);
    boolean("AlwaysOnTop", s.alwaysOnTop);
    boolean("NoSameFile", s.noSameFile);
    boolean("DirRecursive", s.dirRecursive);
    text_(QStringLiteral("FontName"), s.fontName);
    integer("FontSize", s.fontSize);
    boolean("FontStyleBold", s.fontBold);
    boolean("FontStyleItalic", s.fontItalic);
    boolean("FontStyleUnderline", s.fontUnderline);
    boolean("FontStyleStrikeOut", s.fontStrikeOut);
    integer("AppSelected", s.appSelected);
    if (s.appSelected < 0 || s.appSelected > 4) s.appSelected = 0;
    for (int i = 0; i < 5; ++i) {
        AppSlot& slot = s.apps[static_cast<size_t>(i)];
        text_(QStringLiteral("AppCaption%1").arg(i), slot.caption);
        text_(QStringLiteral("AppName%1").arg(i), slot.program);
        text_(QStringLiteral("AppCmdlFront%1").arg(i), slot.optionsBefore);
        text_(QStringLiteral("AppCmdlBack%1").arg(i), slot.optionsAfter);
    }
    text_(QStringLiteral("Dir"), s.dir);
    return s;
}

bool writeSettings(const QString& path, const Settings& s, QString* error) {
    QString text = QStringLiteral("[Main]\r\n");
    auto put = [&](const QString& key, const QString& value) { text += key + u'=' + oneLine(value) + QStringLiteral("\r\n"); };
    auto putInt = [&](const QString& key, int value) { put(key, QString::number(value)); };
    auto putBool = [&](const QString& key, bool value) { put(key, value ? QStringLiteral("1") : QStringLiteral("0")); };

    putInt(QStringLiteral("MainX"), s.mainX);
    putInt(QStringLiteral("MainY"), s.mainY);
    putInt(QStringLiteral("MainW"), s.mainW);
    putInt(QStringLiteral("MainH"), s.mainH);
    for (int i = 0; i < 4; ++i) putInt(QStringLiteral("MainColumn%1").arg(i), s.columns[static_cast<size_t>(i)]);
    put(QStringLiteral("Dir"), s.dir);
    putBool(QStringLiteral("AlwaysOnTop"), s.alwaysOnTop);
    putBool(QStringLiteral("CheckExt"), s.checkExt);
    putBool(QStringLiteral("NoSaveList"), s.noSaveList);
    putBool(QStringLiteral("NoSameFile"), s.noSameFile);
    putBool(QStringLiteral("DirRecursive"), s.dirRecursive);
    put(QStringLiteral("FontName"), s.fontName);
    putInt(QStringLiteral("FontSize"), s.fontSize);
    putBool(QStringLiteral("FontStyleBold"), s.fontBold);
    putBool(QStringLiteral("FontStyleItalic"), s.fontItalic);
    putBool(QStringLiteral("FontStyleUnderline"), s.fontUnderline);
    putBool(QStringLiteral("FontStyleStrikeOut"), s.fontStrikeOut);
    for (int i = 0; i < 5; ++i) {
        const AppSlot& slot = s.apps[static_cast<size_t>(i)];
        put(QStringLiteral("AppCaption%1").arg(i), slot.caption);
        put(QStringLiteral("AppName%1").arg(i), slot.program);
        put(QStringLiteral("AppCmdlFront%1").arg(i), slot.optionsBefore);
        put(QStringLiteral("AppCmdlBack%1").arg(i), slot.optionsAfter);
    }
    putInt(QStringLiteral("AppSelected"), s.appSelected);

    QStringEncoder encoder(QStringConverter::Utf16LE);
    QByteArray bytes("\xFF\xFE", 2);
    bytes += encoder.encode(text);

    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace vesko::lite
