// "プロパティ(&P)": the desktop's own property sheet of a file where there
// is one, else a small dialog of our own.
#pragma once

#include <QDialog>
#include <QString>

#include "file_list_model.h"

namespace vesko::lite {

// The system's dialog (Windows: the shell's property sheet; Linux: the file
// manager's, through org.freedesktop.FileManager1), or FilePropertiesDialog.
void showFileProperties(QWidget* parent, const FileEntry& entry);

class FilePropertiesDialog : public QDialog {
public:
    FilePropertiesDialog(const FileEntry& entry, QWidget* parent = nullptr);
};

}  // namespace vesko::lite
