// The version and subfolder boxes under real key and mouse input: when the
// change handling runs, completion, Enter, picks from the list, rescans and
// the input typed during them, and deleting history entries with Delete.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "app/dialogs.h"
#include "form_fixture.h"
#include "history/history.h"

// Readable QString values in failure messages.
static void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

using twtest::U8;

const char16_t* const kTree = uR"(
    Servers\S1\Mir200\a.txt
    Servers\S1\Config.ini=[Config]|GameName=Game
    Servers\S2\Config.ini=[Config]|GameName=Game
    S3\Config.ini=[Config]|GameName=Game
)";

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

QString RescanMessage(const QString& subDir) {
    return QStringLiteral("正在根据子文件夹 \"") + subDir + QStringLiteral("\" 重新扫描...");
}

class BoxesWindowTest : public twtest::FormTest {
protected:
    bool OpenOnSetUp() const override { return false; }

    void SetUp() override {
        FormTest::SetUp();
        ResetQuestions();
        // A repeating zero timer fires once in every pass of the event loop,
        // the one pass a scan's drain makes included: what the status line
        // and the subfolder box show at each drain is a trace of the rescans.
        QObject::connect(&probe_, &QTimer::timeout, [this] {
            if (opened_ && State().InputHold().Holding()) drains_.push_back(Status() + u'|' + SubDir()->currentText());
        });
        probe_.start(0);
    }
    void TearDown() override {
        probe_.stop();
        ResetQuestions();
        opened_ = false;
        FormTest::TearDown();
    }

    // The history file as earlier runs left it, then the window, shown and
    // active.
    TForm1& OpenWith(std::string_view ini) {
        if (!ini.empty()) WriteHistory(ini);
        Open();
        opened_ = true;
        return Shown();
    }
    // Puts the keyboard focus into box's text field; returns the field.
    // The minimal platform of the Windows run leaves no window active once a
    // box's list has closed; a real system gives the focus back to the box.
    void RefocusAfterList([[maybe_unused]] QComboBox* box) {
#ifdef _WIN32
        QApplication::setActiveWindow(&Form());
        Focus(box);
#endif
    }
    QLineEdit* Focus(QComboBox* box) {
        QLineEdit* edit = box->lineEdit();
        edit->setFocus();
        QApplication::processEvents();
        // The box keeps the focus for its text field and hands it the keys.
        EXPECT_EQ(QApplication::focusWidget(), box);
        return edit;
    }
    // A key as the keyboard delivers it: to the widget that has the focus.
    static void Press(char key, Qt::KeyboardModifiers mods = {}) {
        QTest::keyClick(QApplication::focusWidget(), key, mods);
    }
    static void Press(Qt::Key key, Qt::KeyboardModifiers mods = {}) {
        QTest::keyClick(QApplication::focusWidget(), key, mods);
    }
    void Settle() {
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
    }
    // The drains seen since the last call, each "status|subfolder text".
    QStringList TakeDrains() {
        Settle();
        QStringList seen = drains_;
        drains_.clear();
        return seen;
    }
    tw::String Ini(std::u16string_view section, std::u16string_view key) const {
        return tw::TIniFile(tw::String(tw::HistoryIniPath)).ReadValue(section, key);
    }
    bool DropS1() {
        Build(kTree);
        const bool dropped = Drop({uR"(Servers\S1\Mir200\a.txt)"});
        Settle();
        drains_.clear();
        return dropped;
    }

    QComboBox* Version() { return W<QComboBox>("cbVersion"); }
    QComboBox* SubDir() { return W<QComboBox>("cbSubDir"); }

    bool opened_ = false;
    QTimer probe_;
    QStringList drains_;
};

TEST_F(BoxesWindowTest, PlaceholdersAndTheOpenListShowsEightEntries) {
    OpenWith(
        "[VersionHistory]\r\n0=v0\r\n1=v1\r\n2=v2\r\n3=v3\r\n4=v4\r\n5=v5\r\n6=v6\r\n7=v7\r\n8=v8\r\n"
        "[SubDirHistory]\r\n0=s0\r\n1=s1\r\n2=s2\r\n3=s3\r\n4=s4\r\n5=s5\r\n6=s6\r\n7=s7\r\n");
    EXPECT_EQ(Version()->lineEdit()->placeholderText(), QStringLiteral("输入版本名字"));
    EXPECT_EQ(SubDir()->lineEdit()->placeholderText(), QStringLiteral("输入子文件夹"));
    struct Case {
        QComboBox* box;
        bool scrolls;
    };
    for (const Case& c : {Case{Version(), true}, Case{SubDir(), false}}) {
        SCOPED_TRACE(c.box->objectName().toStdString());
        EXPECT_EQ(c.box->maxVisibleItems(), 8);
        c.box->showPopup();
        QAbstractItemView* view = c.box->view();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
        const QModelIndex last = view->indexAt(QPoint(2, view->viewport()->height() - 2));
        EXPECT_EQ(last.row(), 7);
        EXPECT_EQ(view->verticalScrollBar()->maximum() > 0, c.scrolls);
        c.box->hidePopup();
    }
}

// Before any drop, typing a version name saves the pair at every change
// that leaves a non-blank text, and does nothing else.
TEST_F(BoxesWindowTest, TypingAVersionBeforeADropSavesThePair) {
    OpenWith("[LastUsed]\r\nVersion=old\r\nSubDir=keep\r\n[VersionHistory]\r\n0=Alpha\r\n");
    QLineEdit* edit = Focus(Version());
    const QString ready = Status();

    Press('v');
    Press('1');
    EXPECT_EQ(edit->text(), QStringLiteral("oldv1"));  // the caret was at the end of "old"
    EXPECT_EQ(U8(Ini(u"LastUsed", u"Version")), "oldv1");
    EXPECT_EQ(U8(Ini(u"LastUsed", u"SubDir")), "keep");

    // A completed entry is saved with its completed text.
    edit->selectAll();
    Press('a');
    EXPECT_EQ(edit->text(), QStringLiteral("alpha"));
    EXPECT_EQ(edit->selectedText(), QStringLiteral("lpha"));
    EXPECT_EQ(Version()->currentIndex(), 0);
    EXPECT_EQ(U8(Ini(u"LastUsed", u"Version")), "alpha");

    // Blank texts are not saved.
    edit->selectAll();
    Press(' ');
    EXPECT_EQ(edit->text(), QStringLiteral(" "));
    Press(Qt::Key_Backspace);
    Press(Qt::Key_Backspace);  // on an empty text: still a change, still blank
    EXPECT_EQ(edit->text(), QString());
    EXPECT_EQ(U8(Ini(u"LastUsed", u"Version")), "alpha");

    // The change handling saves only once the histories are loaded; Enter
    // saves regardless.
    State().HistoryLoaded() = false;
    Press('w');
    EXPECT_EQ(edit->text(), QStringLiteral("w"));
    EXPECT_EQ(U8(Ini(u"LastUsed", u"Version")), "alpha");
    Press(Qt::Key_Return);
    EXPECT_EQ(U8(Ini(u"LastUsed", u"Version")), "w");
    State().HistoryLoaded() = true;

    EXPECT_EQ(Status(), ready);
    EXPECT_TRUE(State().SourcePaths().empty());
    EXPECT_TRUE(TakeDrains().isEmpty());
}

// After a drop every change of the subfolder text rescans once, with the
// text of the moment; Enter rescans even when nothing changed.
TEST_F(BoxesWindowTest, SubfolderChangesAndEnterRescanAfterADrop) {
    OpenWith("[SubDirHistory]\r\n0=Servers\r\n[LastUsed]\r\nVersion=Game\r\nSubDir=\r\n");
    ASSERT_TRUE(DropS1());
    EXPECT_EQ(Status(), QStringLiteral("找到 1 个目录 "));  // D:\S3 in root mode
    QLineEdit* edit = Focus(SubDir());

    // The worked example: S completes, e keeps the completion, x replaces it.
    Press('S');
    EXPECT_EQ(edit->text(), QStringLiteral("Servers"));
    EXPECT_EQ(edit->selectedText(), QStringLiteral("ervers"));
    EXPECT_EQ(TakeDrains(), QStringList{RescanMessage("Servers") + "|Servers"});
    EXPECT_EQ(Status(), QStringLiteral("找到 2 个目录 (子文件夹: Servers)"));
    EXPECT_EQ(U8(Ini(u"LastUsed", u"SubDir")), "Servers");
    EXPECT_EQ(State().SourcePaths().size(), 2u);

    Press('e');
    EXPECT_EQ(edit->text(), QStringLiteral("Servers"));
    EXPECT_EQ(edit->selectedText(), QStringLiteral("rvers"));
    EXPECT_TRUE(TakeDrains().isEmpty());

    Press('x');
    EXPECT_EQ(edit->text(), QStringLiteral("Sex"));
    EXPECT_EQ(TakeDrains(), QStringList{RescanMessage("Sex") + "|Sex"});
    EXPECT_EQ(Status(), QStringLiteral("未找到符合条件的目录 (子文件夹: Sex)"));
    EXPECT_EQ(U8(Ini(u"LastUsed", u"SubDir")), "Sex");

    // Enter with the text unchanged still rescans, once.
    Press(Qt::Key_Return);
    EXPECT_EQ(TakeDrains(), QStringList{RescanMessage("Sex") + "|Sex"});

    // Backspace clears the list selection and never completes.
    Press(Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), QStringLiteral("Se"));
    EXPECT_EQ(SubDir()->currentIndex(), -1);
    EXPECT_EQ(TakeDrains(), QStringList{RescanMessage("Se") + "|Se"});

    // Emptied: a rescan in root mode; the saved pair keeps the last
    // non-blank subfolder.
    Press(Qt::Key_Backspace);
    Press(Qt::Key_Backspace);
    EXPECT_EQ(TakeDrains(), (QStringList{RescanMessage("S") + "|S", RescanMessage("") + "|"}));
    EXPECT_EQ(Status(), QStringLiteral("找到 1 个目录 (子文件夹: )"));
    EXPECT_EQ(U8(Ini(u"LastUsed", u"SubDir")), "S");
    // Backspace on an empty text is still a change.
    Press(Qt::Key_Backspace);
    EXPECT_EQ(TakeDrains(), QStringList{RescanMessage("") + "|"});

    // Paste and cut are edits too.
    QApplication::clipboard()->setText(QStringLiteral("Servers"));
    Press(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), QStringLiteral("Servers"));
    edit->selectAll();
    Press(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(TakeDrains(), (QStringList{RescanMessage("Servers") + "|Servers", RescanMessage("") + "|"}));

    // Typing in the version box after a drop refills the grid, rescans
    // nothing and leaves the ticks alone.
    State().SetCheckState(0, false);
    Form().SetStatus(QStringLiteral("-"));
    Focus(Version());
    Press('X');
    EXPECT_EQ(Status(), QStringLiteral("找到 1 个目录 "));
    EXPECT_FALSE(State().GetCheckState(0));
    EXPECT_EQ(U8(Ini(u"LastUsed", u"Version")), "GameX");
    EXPECT_TRUE(TakeDrains().isEmpty());
}

// A pick from the open list and an arrow key on a closed box each count
// once; text put in from code and leaving the box count never.
TEST_F(BoxesWindowTest, PicksCountOnceAndTextFromCodeNever) {
    OpenWith("[SubDirHistory]\r\n0=S3\r\n1=Servers\r\n2=Nowhere\r\n");
    ASSERT_TRUE(DropS1());
    QComboBox* box = SubDir();
    Focus(box);

    box->showPopup();
    QAbstractItemView* view = box->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
    const QModelIndex servers = view->model()->index(1, 0);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(servers).center());
    EXPECT_EQ(box->currentText(), QStringLiteral("Servers"));
    EXPECT_EQ(box->currentIndex(), 1);
    EXPECT_EQ(TakeDrains(), QStringList{RescanMessage("Servers") + "|Servers"});
    EXPECT_EQ(Status(), QStringLiteral("找到 2 个目录 (子文件夹: Servers)"));
    RefocusAfterList(box);

    Press(Qt::Key_Down);
    EXPECT_EQ(box->currentText(), QStringLiteral("Nowhere"));
    EXPECT_EQ(TakeDrains(), QStringList{RescanMessage("Nowhere") + "|Nowhere"});
    Press(Qt::Key_Down);  // already the last entry: no change
    Press(Qt::Key_Up);
    EXPECT_EQ(TakeDrains(), QStringList{RescanMessage("Servers") + "|Servers"});

    // Enter on a text equal to an entry that is not the list selection: the
    // Enter rescan only, not a second one for a pick the box makes itself.
    State().AddToHistory(box, QStringLiteral("typed"));
    box->setEditText(QStringLiteral("typed"));
    EXPECT_TRUE(TakeDrains().isEmpty());
    Press(Qt::Key_Return);
    EXPECT_EQ(TakeDrains(), QStringList{RescanMessage("typed") + "|typed"});
    Focus(Version());
    EXPECT_TRUE(TakeDrains().isEmpty());

    // The last-used pair restored from code and the lists reordered by the
    // history run no change handling.
    State().SaveLastUsed();
    box->setEditText(QStringLiteral("other"));
    State().LoadLastUsed();
    State().RememberInputs();
    EXPECT_EQ(box->currentText(), QStringLiteral("typed"));
    EXPECT_TRUE(TakeDrains().isEmpty());
}

// The sync button records both texts in the histories and puts them back:
// text put in by the system, so no change handling and no rescan.
TEST_F(BoxesWindowTest, SyncButtonRunsNoChangeHandling) {
    OpenWith("[SubDirHistory]\r\n0=Servers\r\n");
    ASSERT_TRUE(DropS1());
    Focus(SubDir());
    Press('S');
    ASSERT_EQ(TakeDrains(), QStringList{RescanMessage("Servers") + "|Servers"});
    Focus(Version());
    Press('G');
    ClearStatuses();

    QTest::mouseClick(W<QPushButton>("btnSync"), Qt::LeftButton);
    Settle();
    EXPECT_TRUE(Status().startsWith(QStringLiteral("同步完成")));
    EXPECT_TRUE(TakeDrains().isEmpty());
    for (const QString& shown : Statuses()) EXPECT_FALSE(shown.contains(QStringLiteral("重新扫描"))) << shown.toStdString();
    EXPECT_EQ(SubDir()->currentText(), QStringLiteral("Servers"));
    EXPECT_EQ(Version()->currentText(), QStringLiteral("G"));
    EXPECT_EQ(U8(Ini(u"VersionHistory", u"0")), "G");
    EXPECT_EQ(U8(Ini(u"SubDirHistory", u"0")), "Servers");
}

// Delete in a box acts on the list selection the box reports, after a
// question; Shift+Delete, Ctrl+Delete and Delete during a run edit the text.
TEST_F(BoxesWindowTest, DeleteRemovesTheSelectedEntryAfterConfirmation) {
    OpenWith("[VersionHistory]\r\n0=v1\r\n1=Servers\r\n2=v3\r\n[SubDirHistory]\r\n0=Servers\r\n"
             "[LastUsed]\r\nVersion=abc\r\nSubDir=\r\n");
    ASSERT_TRUE(DropS1());
    QComboBox* box = Version();
    QLineEdit* edit = Focus(box);

    // No entry selected: nothing happens, the caret stays where it was.
    edit->setCursorPosition(1);
    Press(Qt::Key_Delete);
    EXPECT_EQ(edit->text(), QStringLiteral("abc"));
    EXPECT_EQ(edit->cursorPosition(), 1);
    EXPECT_TRUE(AskedQuestions().empty());

    // Entry 1 picked, answer No: nothing changes, and what was asked.
    Press(Qt::Key_Down);
    Press(Qt::Key_Down);
    ASSERT_EQ(box->currentText(), QStringLiteral("Servers"));
    SetNextAnswer(false);
    Press(Qt::Key_Delete);
    ASSERT_EQ(AskedQuestions().size(), 1u);
    const TQuestion& asked = AskedQuestions().front();
    EXPECT_EQ(asked.Title, QStringLiteral("Confirm"));
    EXPECT_EQ(asked.Text, QString::fromUtf16(u"确定要删除 \"Servers\" 吗\uFF1F"));
    EXPECT_EQ(asked.Buttons, (QStringList{"&Yes", "&No"}));
    EXPECT_EQ(asked.DefaultButton, QStringLiteral("&Yes"));
    EXPECT_EQ(Items(box), (QStringList{"v1", "Servers", "v3"}));
    EXPECT_EQ(box->currentText(), QStringLiteral("Servers"));

    // Yes: removed, the box emptied without a change, everything saved,
    // the grid refilled.
    Form().SetStatus(QStringLiteral("-"));
    SetNextAnswer(true);
    Press(Qt::Key_Delete);
    EXPECT_EQ(Items(box), (QStringList{"v1", "v3"}));
    EXPECT_EQ(box->currentText(), QString());
    EXPECT_EQ(box->currentIndex(), -1);
    EXPECT_EQ(U8(Ini(u"VersionHistory", u"1")), "v3");
    EXPECT_EQ(U8(Ini(u"VersionHistory", u"2")), "");
    EXPECT_EQ(U8(Ini(u"SubDirHistory", u"0")), "Servers");
    EXPECT_EQ(U8(Ini(u"LastUsed", u"Version")), "");
    EXPECT_EQ(Status(), QStringLiteral("找到 1 个目录 "));

    // In the subfolder box: the entry picked, then edited, then deleted:
    // the edited text stays, and nothing rescans.
    QComboBox* sub = SubDir();
    QLineEdit* subEdit = Focus(sub);
    Press(Qt::Key_Down);
    Press(Qt::Key_Backspace);
    ASSERT_EQ(subEdit->text(), QStringLiteral("Server"));
    ASSERT_EQ(sub->currentIndex(), -1);  // Backspace cleared the selection
    Press(Qt::Key_Down);
    subEdit->setText(QStringLiteral("Servers2"));  // the entry stays selected
    TakeDrains();
    SetNextAnswer(true);
    Press(Qt::Key_Delete);
    EXPECT_TRUE(sub->count() == 0);
    EXPECT_EQ(subEdit->text(), QStringLiteral("Servers2"));
    EXPECT_EQ(U8(Ini(u"SubDirHistory", u"0")), "");
    EXPECT_EQ(U8(Ini(u"LastUsed", u"SubDir")), "Servers2");
    EXPECT_TRUE(TakeDrains().isEmpty());
    EXPECT_EQ(AskedQuestions().size(), 3u);

    // Shift+Delete cuts the selected text, Ctrl+Delete deletes to the end of
    // the word; both are edits, and neither asks anything.
    Press(Qt::Key_Down);  // no entries left: nothing
    subEdit->setSelection(0, 6);
    Press(Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(subEdit->text(), QStringLiteral("s2"));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("Server"));
    EXPECT_EQ(TakeDrains(), QStringList{RescanMessage("s2") + "|s2"});
    subEdit->setCursorPosition(0);
    Press(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(subEdit->text(), QString());
    EXPECT_EQ(TakeDrains(), QStringList{RescanMessage("") + "|"});
    EXPECT_EQ(AskedQuestions().size(), 3u);

    // During a synchronisation run Delete edits the text field; nothing is
    // asked and no rescan starts.
    box = Version();
    edit = Focus(box);
    Press(Qt::Key_Down);
    ASSERT_EQ(box->currentText(), QStringLiteral("v1"));
    edit->setCursorPosition(0);
    State().IsProcessing() = true;
    Press(Qt::Key_Delete);
    EXPECT_EQ(edit->text(), QStringLiteral("1"));
    EXPECT_EQ(Items(box), (QStringList{"v1", "v3"}));
    EXPECT_EQ(U8(Ini(u"LastUsed", u"Version")), "1");
    EXPECT_EQ(AskedQuestions().size(), 3u);
    Focus(SubDir());
    Press('Q');
    EXPECT_EQ(U8(Ini(u"LastUsed", u"SubDir")), "Q");
    EXPECT_TRUE(TakeDrains().isEmpty());
    State().IsProcessing() = false;
}

// In the open list the arrow keys move the highlight; Enter picks it, once.
// Escape closes the list with nothing picked.
TEST_F(BoxesWindowTest, KeyboardPickFromTheOpenListCountsOnce) {
    OpenWith("[SubDirHistory]\r\n0=S3\r\n1=Servers\r\n2=Nowhere\r\n");
    ASSERT_TRUE(DropS1());
    QComboBox* box = SubDir();
    Focus(box);

    box->showPopup();
    QAbstractItemView* view = box->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
    view->setCurrentIndex(view->model()->index(0, 0));
    Press(Qt::Key_Down);
    EXPECT_EQ(box->currentText(), QString());  // moving the highlight picks nothing
    EXPECT_TRUE(TakeDrains().isEmpty());
    Press(Qt::Key_Return);
    EXPECT_FALSE(view->isVisible());
    EXPECT_EQ(box->currentText(), QStringLiteral("Servers"));
    EXPECT_EQ(TakeDrains(), QStringList{RescanMessage("Servers") + "|Servers"});
    EXPECT_EQ(U8(Ini(u"LastUsed", u"SubDir")), "Servers");

    box->showPopup();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
    Press(Qt::Key_Down);
    Press(Qt::Key_Escape);
    EXPECT_FALSE(view->isVisible());
    EXPECT_EQ(box->currentText(), QStringLiteral("Servers"));
    EXPECT_TRUE(TakeDrains().isEmpty());
}

// Delete while the list is open acts on the entry the list shows selected;
// the list closes before the question. A subfolder emptied by a deletion
// is not an edit: no rescan.
TEST_F(BoxesWindowTest, DeleteInTheOpenListAndASubfolderEmptiedByADeletion) {
    OpenWith("[SubDirHistory]\r\n0=Servers\r\n1=Nowhere\r\n2=S3\r\n");
    ASSERT_TRUE(DropS1());
    QComboBox* box = SubDir();
    QLineEdit* edit = Focus(box);
    Press(Qt::Key_Down);
    ASSERT_EQ(edit->text(), QStringLiteral("Servers"));
    TakeDrains();
    ASSERT_EQ(State().SourcePaths().size(), 2u);

    box->showPopup();
    QAbstractItemView* view = box->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
    Press(Qt::Key_Down);
    ASSERT_EQ(view->currentIndex().row(), 1);
    SetNextAnswer(true);
    Press(Qt::Key_Delete);
    ASSERT_EQ(AskedQuestions().size(), 1u);
    EXPECT_EQ(AskedQuestions().back().Text, QString::fromUtf16(u"确定要删除 \"Nowhere\" 吗\uFF1F"));
    EXPECT_FALSE(view->isVisible());
    EXPECT_EQ(Items(box), (QStringList{"Servers", "S3"}));
    EXPECT_EQ(edit->text(), QStringLiteral("Servers"));  // another entry's text stays
    EXPECT_EQ(box->currentIndex(), 0);
    EXPECT_EQ(U8(Ini(u"SubDirHistory", u"1")), "S3");
    EXPECT_TRUE(TakeDrains().isEmpty());
    RefocusAfterList(box);

    // The selected entry is the box's text: the box is emptied, the grid
    // refilled, and nothing rescans in root mode.
    Form().SetStatus(QStringLiteral("-"));
    SetNextAnswer(true);
    Press(Qt::Key_Delete);
    EXPECT_EQ(Items(box), QStringList{"S3"});
    EXPECT_EQ(edit->text(), QString());
    EXPECT_EQ(box->currentIndex(), -1);
    EXPECT_EQ(U8(Ini(u"LastUsed", u"SubDir")), "");
    EXPECT_TRUE(TakeDrains().isEmpty());
    EXPECT_EQ(State().SourcePaths().size(), 2u);  // the Servers results, not root mode's
    EXPECT_EQ(Status(), QStringLiteral("找到 2 个目录 "));

    // With the list open and nothing selected in it, Delete asks nothing.
    box->showPopup();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
    view->setCurrentIndex(QModelIndex());
    Press(Qt::Key_Delete);
    EXPECT_EQ(AskedQuestions().size(), 2u);
    EXPECT_EQ(Items(box), QStringList{"S3"});
    box->hidePopup();
}

// A history file that cannot be written while an entry is deleted: the
// error box says so, the entry stays removed, and the key never reaches
// the text field.
TEST_F(BoxesWindowTest, UnwritableHistoryDuringADeletion) {
    OpenWith("[VersionHistory]\r\n0=v1\r\n1=v2\r\n[LastUsed]\r\nVersion=v2\r\n");
    QComboBox* box = Version();
    QLineEdit* edit = Focus(box);
    Press(Qt::Key_Down);
    Press(Qt::Key_Down);
    ASSERT_EQ(box->currentText(), QStringLiteral("v2"));
    edit->setText(QStringLiteral("kept"));  // still the list selection
    edit->setCursorPosition(0);

    BlockHistory();
    SetNextAnswer(true);
    const twtest::TShownBox shown = twtest::AnswerErrorBox([] { Press(Qt::Key_Delete); });
    EXPECT_TRUE(shown.shown);
    EXPECT_EQ(shown.text, QStringLiteral("Unable to write to C:\\Tidewell.ini"));
    EXPECT_EQ(Items(box), QStringList{"v1"});
    EXPECT_EQ(edit->text(), QStringLiteral("kept"));
    EXPECT_EQ(AskedQuestions().size(), 1u);
}

// Characters typed while a rescan drains the queue wait until it has
// ended and are then handled in order, each with a rescan of its own.
TEST_F(BoxesWindowTest, TypingDuringARescanWaitsForItsEnd) {
    OpenWith("[SubDirHistory]\r\n0=Servers\r\n");
    ASSERT_TRUE(DropS1());
    QLineEdit* edit = Focus(SubDir());

    QStringList seenInside;
    QTimer::singleShot(0, edit, [&] {
        Press('x');
        Press(Qt::Key_Backspace);
        Press('e');
        seenInside << Status() << edit->text();
    });
    Press('S');
    // Inside the first rescan's drain the keys were held, not handled.
    EXPECT_EQ(seenInside, (QStringList{RescanMessage("Servers"), "Servers"}));
    const QStringList drains = TakeDrains();
    // S completes to Servers, x replaces the rest, Backspace leaves S and
    // clears the selection, so e completes again as a change of its own.
    EXPECT_EQ(drains, (QStringList{RescanMessage("Servers") + "|Servers", RescanMessage("Sx") + "|Sx",
                                   RescanMessage("S") + "|S", RescanMessage("Servers") + "|Servers"}));
    EXPECT_EQ(edit->text(), QStringLiteral("Servers"));
    EXPECT_EQ(Status(), QStringLiteral("找到 2 个目录 (子文件夹: Servers)"));
}

}  // namespace
