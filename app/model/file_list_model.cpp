#include "file_list_model.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>
#include <numeric>

#include "library_text.h"

namespace vesko::lite {

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent) {}

int FileListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count(); }

int FileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count()) return {};
    const FileEntry& e = entries_.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case CaptionColumn: return e.caption;
        case DetailsColumn: return e.details;
        case SizeColumn: return e.sizeText;
        case PathColumn: return e.fullPath;
        }
        break;
    case Qt::ToolTipRole:
        if (index.column() == DetailsColumn) return e.details;
        if (index.column() == PathColumn) return e.fullPath;
        break;
    case Qt::TextAlignmentRole:
        if (index.column() == SizeColumn) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

QString FileListModel::columnTitle(int column) {
    switch (column) {
    case CaptionColumn: return QStringLiteral("ファイル名");
    case DetailsColumn: return QStringLiteral("詳細");
    case SizeColumn: return QStringLiteral("サイズ");
    case PathColumn: return QStringLiteral("フルパス");
    }
    return {};
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) return columnTitle(section);
    if (role == Qt::TextAlignmentRole && section == SizeColumn)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QList<FileEntry> FileListModel::entriesAt(const QList<int>& rows) const {
    QList<FileEntry> out;
    out.reserve(rows.size());
    for (int row : rows)
        if (row >= 0 && row < count()) out.append(entries_.at(row));
    return out;
}

void FileListModel::countPath(const QString& path, int delta) {
    auto it = pathCounts_.find(path);
    if (it == pathCounts_.end()) {
        if (delta > 0) pathCounts_.insert(path, delta);
        return;
    }
    *it += delta;
    if (*it <= 0) pathCounts_.erase(it);
}

void FileListModel::insertAtTop(const FileEntry& entry) {
    beginInsertRows({}, 0, 0);
    entries_.prepend(entry);
    countPath(entry.fullPath, 1);
    endInsertRows();
}

void FileListModel::insertAtTop(const QList<FileEntry>& examined) {
    if (examined.isEmpty()) return;
    beginInsertRows({}, 0, static_cast<int>(examined.size()) - 1);
    QList<FileEntry> rows;
    rows.reserve(examined.size() + entries_.size());
    for (auto it = examined.crbegin(); it != examined.crend(); ++it) {
        rows.append(*it);
        countPath(it->fullPath, 1);
    }
    rows.append(entries_);
    entries_ = std::move(rows);
    endInsertRows();
}

void FileListModel::append(const QList<FileEntry>& entries) {
    if (entries.isEmpty()) return;
    beginInsertRows({}, count(), count() + static_cast<int>(entries.size()) - 1);
    for (const FileEntry& e : entries) {
        entries_.append(e);
        countPath(e.fullPath, 1);
    }
    endInsertRows();
}

void FileListModel::updateEntry(int row, const FileEntry& entry) {
    if (row < 0 || row >= count()) return;
    FileEntry& e = entries_[row];
    if (e.fullPath != entry.fullPath) {
        countPath(e.fullPath, -1);
        countPath(entry.fullPath, 1);
    }
    e = entry;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void FileListModel::removeEntries(QList<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // From the bottom up, one contiguous run at a time.
    int i = static_cast<int>(rows.size()) - 1;
    while (i >= 0) {
        int last = rows[i];
        int first = last;
        while (i > 0 && rows[i - 1] == first - 1) first = rows[--i];
        --i;
        if (first < 0 || last >= count()) continue;
        beginRemoveRows({}, first, last);
        for (int r = first; r <= last; ++r) countPath(entries_.at(r).fullPath, -1);
        entries_.remove(first, last - first + 1);
        endRemoveRows();
    }
}

void FileListModel::clear() {
    beginResetModel();
    entries_.clear();
    pathCounts_.clear();
    endResetModel();
}

int FileListModel::findByPath(const QString& path) const {
    if (!pathCounts_.contains(path)) return -1;
    for (int i = 0; i < count(); ++i)
        if (entries_.at(i).fullPath == path) return i;
    return -1;
}

void FileListModel::sortByColumn(int column, bool ascending) {
    if (column < 0 || column >= ColumnCount || entries_.size() < 2) return;
    QCollator collator{QLocale()};

    std::vector<int> order(static_cast<size_t>(count()));
    std::iota(order.begin(), order.end(), 0);
    auto compare = [&](const FileEntry& a, const FileEntry& b) -> int {
        switch (column) {
        case CaptionColumn: return collator.compare(a.caption, b.caption);
        case DetailsColumn: return collator.compare(a.details, b.details);
        case PathColumn: return collator.compare(a.fullPath, b.fullPath);
        default: {
            int64_t x = 0, y = 0;
            bool xn = parseGroupedNumber(a.sizeText, x);
            bool yn = parseGroupedNumber(b.sizeText, y);
            if (xn != yn) return xn ? 1 : -1;  // texts that are not numbers come first
            if (!xn) return collator.compare(a.sizeText, b.sizeText);
            return x < y ? -1 : (x > y ? 1 : 0);
        }
        }
    };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        int c = compare(entries_.at(a), entries_.at(b));
        return ascending ? c < 0 : c > 0;
    });

    reorder(order);
}

void FileListModel::reorder(const std::vector<int>& order) {
    if (order.size() != static_cast<size_t>(count())) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QList<FileEntry> sorted;
    sorted.reserve(entries_.size());
    std::vector<int> newRowOf(order.size());
    for (size_t to = 0; to < order.size(); ++to) {
        sorted.append(entries_.at(order[to]));
        newRowOf[static_cast<size_t>(order[to])] = static_cast<int>(to);
    }
    entries_ = std::move(sorted);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& i : from) to.append(index(newRowOf[static_cast<size_t>(i.row())], i.column()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void FileListModel::setEntries(const QList<FileEntry>& entries) {
    beginResetModel();
    entries_ = entries;
    pathCounts_.clear();
    for (const FileEntry& e : entries_) countPath(e.fullPath, 1);
    endResetModel();
}

}  // namespace vesko::lite
