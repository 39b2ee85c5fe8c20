#include <windows.h>
#include <shellapi.h>

#include <QDir>

#include "properties.h"

namespace vesko::lite {

void showFileProperties(QWidget* parent, const FileEntry& entry) {
    const QString path = QDir::toNativeSeparators(entry.fullPath);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_FLAG_NO_UI;
    info.hwnd = parent ? reinterpret_cast<HWND>(parent->winId()) : nullptr;
    info.lpVerb = L"properties";
    info.lpFile = reinterpret_cast<LPCWSTR>(path.utf16());
    info.nShow = SW_SHOW;
    if (!::ShellExecuteExW(&info)) {
        auto* dialog = new FilePropertiesDialog(entry, parent);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
    }
}

}  // namespace vesko::lite
