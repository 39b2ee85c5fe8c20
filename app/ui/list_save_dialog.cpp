#include "list_save_dialog.h"

namespace vesko::lite {

namespace {

constexpr ListFormat kFormats[] = {ListFormat::Own, ListFormat::Pls, ListFormat::Lst, ListFormat::Zpl,
                                   ListFormat::Bsl, ListFormat::M3u, ListFormat::M3u8};

}  // namespace

ListSaveDialog::ListSaveDialog(QWidget* parent, const QString& folder)
    : QFileDialog(parent, QStringLiteral("名前を付けて保存"), folder) {
    setObjectName(QStringLiteral("TVKR_SAVELIST"));
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    QStringList filters;
    for (ListFormat f : kFormats) filters << listFilterText(f);
    setNameFilters(filters);
    connect(this, &QFileDialog::filterSelected, this, &ListSaveDialog::onFilterSelected);
    selectFormat(ListFormat::Own);
}

void ListSaveDialog::selectFormat(ListFormat format) {
    selectNameFilter(listFilterText(format));
    setDefaultSuffix(listExtension(format));
}

void ListSaveDialog::onFilterSelected(const QString& filter) {
    for (ListFormat f : kFormats)
        if (listFilterText(f) == filter) setDefaultSuffix(listExtension(f));
}

ListFormat ListSaveDialog::format() const {
    const QString chosen = selectedNameFilter();
    for (ListFormat f : kFormats)
        if (listFilterText(f) == chosen) return f;
    return ListFormat::Own;
}

}  // namespace vesko::lite
