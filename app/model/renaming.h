// File names: the extension of each format, the new names of the renaming
// commands, and the check of a name typed by the user. Pure text, no file
// system access.
#pragma once

#include <QString>
#include <cstdint>

namespace vesko::lite {

// The name part of a path: the text after the last "/" (on Windows also
// "\" and ":").
QString fileNamePart(const QString& path);
// The folder part, without the separator before the name.
QString folderPart(const QString& path);

// The extension that files of a format code get with "拡張子自動リネーム"
// (".avi", ".mpg", ...), or empty for codes that keep their name.
QString extensionForFormat(int32_t formatCode);

// The path with the name's extension replaced by the format's (appended
// when the name has none), or empty when nothing is to change: no
// extension for the code, or the new path equals the old one but for
// letter case. A leading "." of a name (".hidden") starts no extension.
QString extensionCorrectedPath(const QString& path, int32_t formatCode);

// "詳細付リネーム": " [details]" inserted before the extension of the
// file's name, with "\ / : * ? " < > |" and control characters in the
// details replaced by "-". Empty when the name has no extension.
QString detailsRenamedPath(const QString& path, const QString& details);

// A name typed for "リネーム" that may become a file name in the entry's
// folder: not empty or blank, not "." or "..", no "/", "\" or NUL.
bool isAcceptableFileName(const QString& name);

}  // namespace vesko::lite
