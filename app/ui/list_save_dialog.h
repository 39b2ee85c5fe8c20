// The save dialog of "リストの保存(&A)": seven filters; the chosen filter
// decides the writer, and the default extension follows the filter.
#pragma once

#include <QFileDialog>

#include "list_files.h"

namespace vesko::lite {

class ListSaveDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit ListSaveDialog(QWidget* parent = nullptr, const QString& folder = {});
    void selectFormat(ListFormat format);
    // The format of the filter chosen now.
    ListFormat format() const;

private:
    void onFilterSelected(const QString& filter);
};

}  // namespace vesko::lite
