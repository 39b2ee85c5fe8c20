#include "list_editing.h"

#include <ctime>
#include <numeric>

#include "renaming.h"

namespace vesko::lite {

ListEditor::ListEditor(FileListModel& model, QItemSelectionModel& selection, Prompter& prompter, QObject* parent)
    : QObject(parent),
      model_(model),
      selection_(selection),
      prompter_(prompter),
      random_(static_cast<uint32_t>(std::time(nullptr))) {}

QList<bool> ListEditor::selectedFlags() const {
    QList<bool> flags(model_.count(), false);
    for (const QModelIndex& index : selection_.selectedIndexes())
        if (index.row() >= 0 && index.row() < model_.count()) flags[index.row()] = true;
    return flags;
}

void ListEditor::applyOrder(const std::vector<int>& order) {
    bool same = true;
    for (size_t i = 0; i < order.size() && same; ++i) same = order[i] == static_cast<int>(i);
    if (!same) model_.reorder(order);
}

void ListEditor::scrollToFirstSelected() {
    if (!selection_.currentIndex().isValid()) return;
    const QList<bool> flags = selectedFlags();
    const auto first = flags.indexOf(true);
    if (first >= 0) emit scrollRequested(static_cast<int>(first));
}

void ListEditor::moveUp() {
    QList<bool> flags = selectedFlags();
    if (flags.isEmpty() || flags.first()) return;
    std::vector<int> order(flags.size());
    std::iota(order.begin(), order.end(), 0);
    for (qsizetype i = 1; i < flags.size(); ++i) {
        if (!flags[i]) continue;
        std::swap(order[i - 1], order[i]);
        std::swap(flags[i - 1], flags[i]);
    }
    applyOrder(order);
    scrollToFirstSelected();
}

void ListEditor::moveDown() {
    QList<bool> flags = selectedFlags();
    if (flags.isEmpty() || flags.last()) return;
    std::vector<int> order(flags.size());
    std::iota(order.begin(), order.end(), 0);
    for (qsizetype i = flags.size() - 2; i >= 0; --i) {
        if (!flags[i]) continue;
        std::swap(order[i + 1], order[i]);
        std::swap(flags[i + 1], flags[i]);
    }
    applyOrder(order);
    scrollToFirstSelected();
}

void ListEditor::moveToTop() {
    QList<bool> flags = selectedFlags();
    const auto first = flags.indexOf(true);
    if (first < 0) return;
    std::vector<int> order(flags.size());
    std::iota(order.begin(), order.end(), 0);
    for (qsizetype i = first; i < flags.size(); ++i) {
        if (!flags[i]) continue;
        const int moved = order[i];
        order.erase(order.begin() + i);
        order.insert(order.begin() + (i - first), moved);
        flags.remove(i);
        flags.insert(i - first, true);
    }
    applyOrder(order);
    const QModelIndex top = model_.index(0, 0);
    selection_.select(top, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection_.setCurrentIndex(top, QItemSelectionModel::NoUpdate);
    scrollToFirstSelected();
}

void ListEditor::moveToBottom() {
    QList<bool> flags = selectedFlags();
    const auto last = flags.lastIndexOf(true);
    if (last < 0) return;
    const qsizetype shift = flags.size() - 1 - last;
    std::vector<int> order(flags.size());
    std::iota(order.begin(), order.end(), 0);
    for (qsizetype i = last; i >= 0; --i) {
        if (!flags[i]) continue;
        const int moved = order[i];
        order.erase(order.begin() + i);
        order.insert(order.begin() + (i + shift), moved);
        flags.remove(i);
        flags.insert(i + shift, true);
    }
    applyOrder(order);
    const QModelIndex bottom = model_.index(model_.count() - 1, 0);
    selection_.select(bottom, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection_.setCurrentIndex(bottom, QItemSelectionModel::NoUpdate);
    scrollToFirstSelected();
}

void ListEditor::clear() {
    if (!prompter_.confirm(QStringLiteral("確認"), QStringLiteral("現在のリストをクリアします。よろしいですか?")))
        return;
    model_.clear();
}

void ListEditor::shuffle() {
    if (!prompter_.confirm(QStringLiteral("確認"), QStringLiteral("シャッフルの取り消しは出来ませんがよろしいですか?")))
        return;
    QList<FileEntry> remaining = model_.entries();
    QList<FileEntry> shuffled;
    shuffled.reserve(remaining.size());
    while (!remaining.isEmpty()) {
        const auto k = static_cast<qsizetype>(random_() % static_cast<uint32_t>(remaining.size()));
        FileEntry entry = remaining.takeAt(k);
        entry.caption = fileNamePart(entry.fullPath);
        shuffled.append(entry);
    }
    model_.setEntries(shuffled);  // no row stays selected
    selection_.clear();
}

void ListEditor::selectAll() {
    if (model_.count() == 0) return;
    selection_.select(QItemSelection(model_.index(0, 0), model_.index(model_.count() - 1, ColumnCount - 1)),
                      QItemSelectionModel::Select);
}

void ListEditor::invertSelection() {
    if (model_.count() == 0) return;
    const QList<bool> flags = selectedFlags();
    QItemSelection inverted;
    for (int row = 0; row < model_.count(); ++row)
        if (!flags[row]) inverted.select(model_.index(row, 0), model_.index(row, ColumnCount - 1));
    selection_.select(inverted, QItemSelectionModel::ClearAndSelect);
}

void ListEditor::search() {
    const std::optional<QString> answer =
        prompter_.askText(QStringLiteral("検索"), QStringLiteral("ファイル名(部分一致)"), searchText_);
    if (!answer) return;
    searchText_ = answer->toLower();
    findNext();
}

void ListEditor::findNext() { find(true); }

void ListEditor::findPrevious() { find(false); }

int ListEditor::findMatch(const QList<FileEntry>& entries, const QString& lowerText, int start, bool forward) {
    const int n = static_cast<int>(entries.size());
    if (n == 0 || lowerText.isEmpty()) return -1;
    auto matches = [&](int row) { return entries.at(row).caption.toLower().contains(lowerText); };
    if (forward) {
        const int c = start + 1 >= n ? 0 : start + 1;
        for (int i = c; i < n; ++i)
            if (matches(i)) return i;
        if (c != 0)
            for (int i = 0; i < n; ++i)
                if (matches(i)) return i;
    } else {
        const int c = start - 1 < 0 ? n - 1 : start - 1;
        for (int i = c; i >= 0; --i)
            if (matches(i)) return i;
        if (c != n - 1)
            for (int i = n - 1; i >= c; --i)
                if (matches(i)) return i;
    }
    return -1;
}

void ListEditor::find(bool forward) {
    if (model_.count() == 0) return;
    const QModelIndex current = selection_.currentIndex();
    const int start = current.isValid() ? current.row() : 0;
    const int match = findMatch(model_.entries(), searchText_, start, forward);
    if (match < 0) {
        prompter_.error(QStringLiteral("検索"), QStringLiteral("対象が見つかりませんでした"));
        return;
    }
    selection_.select(model_.index(start, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    const QModelIndex found = model_.index(match, 0);
    selection_.select(found, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection_.setCurrentIndex(found, QItemSelectionModel::NoUpdate);
    emit scrollRequested(match);
}

}  // namespace vesko::lite
