// TVKR_ABOUT, "バージョン情報": the program's title, the library's version
// and kind, and a few credit lines.
#pragma once

#include <QDialog>

namespace vesko::lite {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    // `unicode`: the library has the Unicode entry point.
    AboutDialog(const QString& title, int32_t dllVersion, bool unicode, QWidget* parent = nullptr);

    // "DLL %06d %s".
    static QString libraryLine(int32_t dllVersion, bool unicode);
};

}  // namespace vesko::lite
