// The file list: one row per examined file, four text columns.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QString>
#include <vector>

namespace vesko::lite {

struct FileEntry {
    QString caption;   // name without folder
    QString details;   // one-line summary
    QString sizeText;  // size with digit grouping
    QString fullPath;  // the key of the entry
    bool operator==(const FileEntry&) const = default;
};

enum Column { CaptionColumn = 0, DetailsColumn = 1, SizeColumn = 2, PathColumn = 3, ColumnCount = 4 };

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit FileListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    int count() const { return static_cast<int>(entries_.size()); }
    const FileEntry& entry(int row) const { return entries_.at(row); }
    const QList<FileEntry>& entries() const { return entries_; }
    QList<FileEntry> entriesAt(const QList<int>& rows) const;

    void insertAtTop(const FileEntry& entry);
    // Several rows at once, in the order they were examined: the last one
    // ends up on top, as if each had been inserted at the top in turn.
    void insertAtTop(const QList<FileEntry>& examined);
    void append(const QList<FileEntry>& entries);
    void updateEntry(int row, const FileEntry& entry);
    // Rows in any order; each is removed once.
    void removeEntries(QList<int> rows);
    void clear();
    // Replaces every row (selections end).
    void setEntries(const QList<FileEntry>& entries);
    // Puts the rows in a new order: row i becomes the row that was at
    // order[i]. Selections and other persistent indexes follow their rows.
    void reorder(const std::vector<int>& order);

    // Index of the first entry whose full path equals `path` exactly (letter
    // case counts), or -1.
    int findByPath(const QString& path) const;

    // Sorts by one column, stable; selections and other persistent indexes
    // follow their rows. Captions, details and paths compare with the
    // user's locale; sizes as numbers (a size text that is not a number
    // sorts before every number in ascending order).
    void sortByColumn(int column, bool ascending);

    static QString columnTitle(int column);

private:
    void countPath(const QString& path, int delta);

    QList<FileEntry> entries_;
    QHash<QString, int> pathCounts_;  // how many entries carry each full path
};

}  // namespace vesko::lite
