// Editing the list without touching the files: moving the selected rows,
// removing all rows, shuffling, selecting, and searching the file names.
// Works on the model and the view's selection (focus = current index).
#pragma once

#include <QItemSelectionModel>
#include <QObject>
#include <QString>
#include <random>

#include "file_list_model.h"
#include "prompter.h"

namespace vesko::lite {

class ListEditor : public QObject {
    Q_OBJECT
public:
    // The shuffle's generator is seeded with the current time in seconds.
    ListEditor(FileListModel& model, QItemSelectionModel& selection, Prompter& prompter, QObject* parent = nullptr);

    void seed(uint32_t value) { random_.seed(value); }

    // A block of selected rows moves by one as a whole, selection intact;
    // nothing happens when the first (last) row is selected.
    void moveUp();
    void moveDown();
    // Every selected row moves up (down) by the distance of the first
    // (last) selected row from the top (bottom), keeping the gaps between
    // them; that row is then focused.
    void moveToTop();
    void moveToBottom();
    // Ask first.
    void clear();
    void shuffle();
    void selectAll();
    void invertSelection();

    // Asks for the text (part of a file name, any letter case), then finds
    // the next match.
    void search();
    // From the focused row (or the first), wrapping around; the match is
    // selected and focused, the row it started from deselected. Reports
    // "対象が見つかりませんでした" when nothing matches.
    void findNext();
    void findPrevious();
    QString searchText() const { return searchText_; }
    void setSearchText(const QString& text) { searchText_ = text.toLower(); }

    // The row of the next (previous) match, or -1: the caption, in lower
    // case, contains `lowerText`; an empty text matches nothing.
    static int findMatch(const QList<FileEntry>& entries, const QString& lowerText, int start, bool forward);

signals:
    // A row to bring into view.
    void scrollRequested(int row);

private:
    QList<bool> selectedFlags() const;
    void applyOrder(const std::vector<int>& order);
    void scrollToFirstSelected();
    void find(bool forward);

    FileListModel& model_;
    QItemSelectionModel& selection_;
    Prompter& prompter_;
    std::mt19937 random_;
    QString searchText_;
};

}  // namespace vesko::lite
