// Editing the list: moving selected rows, clearing, shuffling, selecting
// and searching the file names.
#include <gtest/gtest.h>

#include <QItemSelectionModel>
#include <QRegularExpression>
#include <QSignalSpy>

#include "list_editing.h"
#include "test_support.h"

using namespace vesko::lite;

namespace {

class EditorTest : public ::testing::Test {
protected:
    EditorTest() : selection(&model), editor(model, selection, prompter) {}

    // Rows named by their captions; "S" and "S" with a number are selected.
    void setRows(const QStringList& captions) {
        QList<FileEntry> entries;
        for (const QString& c : captions)
            entries.append({c, "details of " + c, "1", "/music/" + c});
        model.setEntries(entries);
        static const QRegularExpression marked(QStringLiteral("^S\\d*$"));
        for (int i = 0; i < captions.size(); ++i)
            if (marked.match(captions[i]).hasMatch()) select(i);
    }
    void select(int row) { selection.select(model.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows); }
    void focus(int row) { selection.setCurrentIndex(model.index(row, 0), QItemSelectionModel::NoUpdate); }
    QStringList captions() const {
        QStringList out;
        for (const FileEntry& e : model.entries()) out << e.caption;
        return out;
    }
    QStringList selected() const {
        QStringList out;
        for (int i = 0; i < model.count(); ++i)
            if (selection.isRowSelected(i, {})) out << model.entry(i).caption;
        return out;
    }

    FileListModel model;
    QItemSelectionModel selection;
    test::RecordingPrompter prompter;
    ListEditor editor;
};

struct MoveCase {
    const char* what;
    void (ListEditor::*command)();
    QStringList before;
    QStringList after;
};

TEST_F(EditorTest, MovingSelectedRows) {
    const MoveCase cases[] = {
        {"up", &ListEditor::moveUp, {"a", "S", "b"}, {"S", "a", "b"}},
        {"up at the top", &ListEditor::moveUp, {"S", "a", "b"}, {"S", "a", "b"}},
        {"up, a block", &ListEditor::moveUp, {"a", "S1", "S2", "b", "S3"}, {"S1", "S2", "a", "S3", "b"}},
        {"up, nothing selected", &ListEditor::moveUp, {"a", "b"}, {"a", "b"}},
        {"down", &ListEditor::moveDown, {"a", "S", "b"}, {"a", "b", "S"}},
        {"down at the bottom", &ListEditor::moveDown, {"a", "b", "S"}, {"a", "b", "S"}},
        {"down, a block", &ListEditor::moveDown, {"S1", "a", "S2", "S3", "b"}, {"a", "S1", "b", "S2", "S3"}},
        {"top", &ListEditor::moveToTop, {"a", "b", "S1", "c", "d", "S2", "e"}, {"S1", "a", "b", "S2", "c", "d", "e"}},
        {"top, first selected", &ListEditor::moveToTop, {"S1", "a", "S2"}, {"S1", "a", "S2"}},
        {"bottom", &ListEditor::moveToBottom, {"a", "S1", "b", "c", "S2", "d", "e"},
         {"a", "b", "c", "S1", "d", "e", "S2"}},
        {"bottom, one row", &ListEditor::moveToBottom, {"S"}, {"S"}},
    };
    for (const MoveCase& c : cases) {
        SCOPED_TRACE(c.what);
        setRows(c.before);
        const QStringList wasSelected = selected();
        (editor.*c.command)();
        EXPECT_EQ(captions(), c.after);
        EXPECT_EQ(selected(), [&] {  // the same rows selected, in their new order
            QStringList s;
            for (const QString& name : c.after)
                if (wasSelected.contains(name)) s << name;
            return s;
        }());
        // The other texts moved with their rows.
        for (const FileEntry& e : model.entries()) EXPECT_EQ(e.details, "details of " + e.caption);
    }
}

TEST_F(EditorTest, TopAndBottomFocusTheEndRow) {
    setRows({"a", "b", "S1", "c", "S2"});
    focus(0);
    editor.moveToTop();
    EXPECT_EQ(selection.currentIndex().row(), 0);
    EXPECT_EQ(model.entry(0).caption, QStringLiteral("S1"));
    editor.moveToBottom();
    EXPECT_EQ(selection.currentIndex().row(), 4);
    EXPECT_EQ(model.entry(4).caption, QStringLiteral("S2"));
}

TEST_F(EditorTest, MovedRowsAreScrolledIntoViewWhenARowIsFocused) {
    QSignalSpy scrolled(&editor, &ListEditor::scrollRequested);
    setRows({"a", "b", "S"});
    editor.moveUp();
    EXPECT_EQ(scrolled.size(), 0);  // nothing focused
    focus(1);
    editor.moveUp();
    ASSERT_EQ(scrolled.size(), 1);
    EXPECT_EQ(scrolled[0][0].toInt(), 0);
}

TEST_F(EditorTest, ClearAndShuffleAskFirst) {
    setRows({"a", "b", "c"});
    prompter.answer = false;
    editor.clear();
    editor.shuffle();
    EXPECT_EQ(captions(), (QStringList{"a", "b", "c"}));
    ASSERT_EQ(prompter.records.size(), 2);
    EXPECT_EQ(prompter.records[0].caption, QStringLiteral("確認"));
    EXPECT_EQ(prompter.records[0].text, QStringLiteral("現在のリストをクリアします。よろしいですか?"));
    EXPECT_EQ(prompter.records[1].text, QStringLiteral("シャッフルの取り消しは出来ませんがよろしいですか?"));
    prompter.answer = true;
    editor.clear();
    EXPECT_EQ(model.count(), 0);
}

TEST_F(EditorTest, ShuffleKeepsEveryEntryAndSelectsNone) {
    QStringList names;
    for (int i = 0; i < 40; ++i) names << QStringLiteral("f%1").arg(i);
    setRows(names);
    select(3);
    editor.seed(12345);
    editor.shuffle();
    QStringList shuffled = captions();
    EXPECT_NE(shuffled, names);
    EXPECT_TRUE(selected().isEmpty());
    QStringList sorted = shuffled;
    std::sort(sorted.begin(), sorted.end());
    QStringList expected = names;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sorted, expected);
    for (const FileEntry& e : model.entries()) EXPECT_EQ(e.fullPath, "/music/" + e.caption);

    // The same seed gives the same order; the generator is MT19937.
    setRows(names);
    editor.seed(12345);
    editor.shuffle();
    EXPECT_EQ(captions(), shuffled);
    std::mt19937 reference(12345);
    EXPECT_EQ(shuffled.first(), names[static_cast<qsizetype>(reference() % 40)]);
}

TEST_F(EditorTest, ShufflingOneEntryLeavesItUnselected) {
    model.setEntries({{"stored caption", "d", "1", "/x/real.mp3"}});
    select(0);
    editor.shuffle();
    ASSERT_EQ(model.count(), 1);
    EXPECT_EQ(model.entry(0).fullPath, QStringLiteral("/x/real.mp3"));
    EXPECT_EQ(model.entry(0).caption, QStringLiteral("real.mp3"));  // from the path
    EXPECT_TRUE(selected().isEmpty());
}

TEST_F(EditorTest, SelectAllAndInvert) {
    setRows({"a", "S1", "b", "S2"});
    editor.invertSelection();
    EXPECT_EQ(selected(), (QStringList{"a", "b"}));
    editor.selectAll();
    EXPECT_EQ(selected(), (QStringList{"a", "S1", "b", "S2"}));
    editor.invertSelection();
    EXPECT_TRUE(selected().isEmpty());
}

struct SearchCase {
    const char* what;
    QStringList rows;
    const char* text;
    int start;
    bool forward;
    int expected;
};

TEST_F(EditorTest, FindingTheNextAndPreviousMatch) {
    const QStringList list{"Song.mp3", "other.wav", "song2.MP3", "x.flac"};
    const SearchCase cases[] = {
        {"next", list, "mp3", 0, true, 2},
        {"next wraps", list, "mp3", 2, true, 0},
        {"from the last row", list, "mp3", 3, true, 0},
        {"next, only itself", list, "wav", 1, true, 1},
        {"previous", list, "mp3", 2, false, 0},
        {"previous wraps", list, "mp3", 0, false, 2},
        {"previous from the first row", list, "flac", 0, false, 3},
        {"no match", list, "ogg", 0, true, -1},
        {"empty text", list, "", 0, true, -1},
        {"empty list", {}, "mp3", 0, true, -1},
    };
    for (const SearchCase& c : cases) {
        QList<FileEntry> entries;
        for (const QString& name : c.rows) entries.append({name, "", "", "/" + name});
        EXPECT_EQ(ListEditor::findMatch(entries, QString::fromUtf8(c.text), c.start, c.forward), c.expected) << c.what;
    }
}

TEST_F(EditorTest, SearchSelectsTheMatchAndDeselectsTheStart) {
    setRows({"Song.mp3", "other.wav", "S", "tune.MP3"});  // S selected
    focus(0);
    select(0);
    prompter.textAnswers = {QStringLiteral("MP3")};  // upper case finds lower and upper
    editor.search();
    ASSERT_EQ(prompter.ofKind("ask").size(), 1);
    EXPECT_EQ(prompter.ofKind("ask")[0].caption, QStringLiteral("検索"));
    EXPECT_EQ(prompter.ofKind("ask")[0].text, QStringLiteral("ファイル名(部分一致)"));
    EXPECT_EQ(prompter.askedInitial, QStringList{""});
    EXPECT_EQ(editor.searchText(), QStringLiteral("mp3"));
    EXPECT_EQ(selection.currentIndex().row(), 3);
    EXPECT_EQ(selected(), (QStringList{"S", "tune.MP3"}));  // others keep their selection
    editor.findNext();  // wraps to the first row
    EXPECT_EQ(selection.currentIndex().row(), 0);
    EXPECT_EQ(selected(), (QStringList{"Song.mp3", "S"}));
    editor.findPrevious();
    EXPECT_EQ(selection.currentIndex().row(), 3);

    prompter.textAnswers = {QStringLiteral("x")};
    editor.search();
    EXPECT_EQ(prompter.askedInitial.last(), QStringLiteral("mp3"));  // prefilled with the last text
}

TEST_F(EditorTest, NothingFoundBeforeAnySearch) {
    setRows({"a.mp3"});
    editor.findNext();
    const auto errors = prompter.ofKind("error");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0].caption, QStringLiteral("検索"));
    EXPECT_EQ(errors[0].text, QStringLiteral("対象が見つかりませんでした"));
    // A cancelled search changes nothing.
    editor.search();
    EXPECT_EQ(editor.searchText(), QString());
}

}  // namespace
