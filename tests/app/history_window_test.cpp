// The history as the window holds it: the boxes' drop-down lists, the
// last-used pair in their texts, and what a refused save does to both.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStringList>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>

#include "app/application.h"
#include "app/unit1.h"
#include "app/form_access.h"
#include "history/history.h"
#include "form_fixture.h"

namespace {

using twtest::U8;

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

class HistoryWindowTest : public twtest::FormTest {
protected:
    // Each test writes the history file first, then opens the window.
    bool OpenOnSetUp() const override { return false; }
    void SetUp() override {
        FormTest::SetUp();
#ifndef _WIN32
        // The history file lands on the test's own C: (on Windows C: is the
        // system's, and the fixture sets an existing history file aside).
        ASSERT_EQ(CDrive(), u"C:");
#endif
    }

    tw::String Get(std::u16string_view section, std::u16string_view key) const {
        return tw::TIniFile(tw::String(tw::HistoryIniPath)).ReadValue(section, key);
    }

    QComboBox* Version() { return W<QComboBox>("cbVersion"); }
    QComboBox* SubDir() { return W<QComboBox>("cbSubDir"); }
    TForm1Access& Access() { return State(); }
};

TEST_F(HistoryWindowTest, FirstStartShowsEmptyBoxesAndCreatesNoFile) {
    Open();
    EXPECT_EQ(Version()->count(), 0);
    EXPECT_EQ(SubDir()->count(), 0);
    EXPECT_TRUE(Version()->currentText().isEmpty());
    EXPECT_TRUE(SubDir()->currentText().isEmpty());
    EXPECT_TRUE(Access().HistoryLoaded());
    EXPECT_FALSE(tw::IsFile(tw::HistoryIniPath));
}

TEST_F(HistoryWindowTest, StartRestoresListsAndLastUsedPair) {
    WriteHistory(
        "[VersionHistory]\r\n0=开区版本\r\n1=v2\r\n5=v5\r\n9=\r\n10=ignored\r\n"
        "[SubDirHistory]\r\n0=Servers\r\n1=Servers\r\n"
        "[LastUsed]\r\nVersion=  typed \r\nSubDir=Servers\r\n");
    Open();
    EXPECT_EQ(Items(Version()), (QStringList{QStringLiteral("开区版本"), "v2", "v5"}));
    EXPECT_EQ(Items(SubDir()), (QStringList{"Servers", "Servers"}));
    // The profile reader drops the blanks around a value.
    EXPECT_EQ(Version()->currentText(), QStringLiteral("typed"));
    EXPECT_EQ(SubDir()->currentText(), QStringLiteral("Servers"));
}

// Putting the stored texts into the boxes is not an operator's edit.
TEST_F(HistoryWindowTest, LoadingRaisesNoChangeSignals) {
    WriteHistory("[LastUsed]\r\nVersion=v1\r\nSubDir=sub\r\n[VersionHistory]\r\n0=v1\r\n");
    Open();
    QSignalSpy versionEdits(Version(), &QComboBox::editTextChanged);
    QSignalSpy subDirEdits(SubDir(), &QComboBox::editTextChanged);
    QSignalSpy lineEdits(Version()->lineEdit(), &QLineEdit::textChanged);
    Version()->setEditText(QStringLiteral("other"));
    versionEdits.clear();
    lineEdits.clear();

    Access().LoadHistory();
    Access().LoadLastUsed();
    EXPECT_EQ(Version()->currentText(), QStringLiteral("v1"));
    EXPECT_EQ(versionEdits.count(), 0);
    EXPECT_EQ(subDirEdits.count(), 0);
    EXPECT_EQ(lineEdits.count(), 0);
}

// Reordering a list never changes what the box shows, even when the shown
// entry is the one that moves or is cut off.
TEST_F(HistoryWindowTest, RememberInputsReordersListsAndKeepsTheTexts) {
    WriteHistory(
        "[Drives]\r\nD:=/srv/mir\r\n"
        "[VersionHistory]\r\n0=x\r\n1=abc\r\n2=y\r\n"
        "[SubDirHistory]\r\n0=s0\r\n1=s1\r\n2=s2\r\n3=s3\r\n4=s4\r\n5=s5\r\n6=s6\r\n7=s7\r\n8=s8\r\n9=s9\r\n");
    Open();
    Version()->setCurrentIndex(1);  // "abc" picked from the list
    SubDir()->setEditText(QStringLiteral("new"));
    QSignalSpy versionEdits(Version(), &QComboBox::editTextChanged);
    QSignalSpy subDirEdits(SubDir(), &QComboBox::editTextChanged);

    Access().RememberInputs();

    EXPECT_EQ(Items(Version()), (QStringList{"abc", "x", "y"}));
    EXPECT_EQ(Version()->currentText(), QStringLiteral("abc"));
    EXPECT_EQ(Items(SubDir()),
              (QStringList{"new", "s0", "s1", "s2", "s3", "s4", "s5", "s6", "s7", "s8"}));
    EXPECT_EQ(SubDir()->currentText(), QStringLiteral("new"));
    EXPECT_EQ(versionEdits.count(), 0);
    EXPECT_EQ(subDirEdits.count(), 0);

    EXPECT_EQ(Get(u"LastUsed", u"Version"), u"abc");
    EXPECT_EQ(Get(u"LastUsed", u"SubDir"), u"new");
    EXPECT_EQ(Get(u"VersionHistory", u"0"), u"abc");
    EXPECT_EQ(Get(u"VersionHistory", u"2"), u"y");
    EXPECT_EQ(Get(u"SubDirHistory", u"9"), u"s8");
    EXPECT_EQ(Get(u"Drives", u"D:"), u"/srv/mir");
}

TEST_F(HistoryWindowTest, BlankVersionIsSavedEmptyAndLeftOutOfTheList) {
    Open();
    Version()->setEditText(QStringLiteral("   "));
    SubDir()->setEditText(QStringLiteral("Servers"));
    Access().RememberInputs();
    EXPECT_EQ(Version()->count(), 0);
    EXPECT_EQ(Items(SubDir()), QStringList{"Servers"});
    EXPECT_TRUE(tw::IsFile(tw::HistoryIniPath));
    EXPECT_EQ(Get(u"LastUsed", u"SubDir"), u"Servers");

    // The next start shows an empty version box, not the blanks.
    Open();
    EXPECT_TRUE(Version()->currentText().isEmpty());
    EXPECT_EQ(SubDir()->currentText(), QStringLiteral("Servers"));
}

// A history file that nobody, root included, can write. The refusal escapes
// the handler, the general error report shows it at the handler's edge, and
// the window goes on.
TEST_F(HistoryWindowTest, RefusedSaveShowsTheErrorAndTheWindowGoesOn) {
    TForm1& form = Open();
    form.show();
    // Blocked once the window is up: a history file that is unusable at
    // start-up is reported then and never written at all.
    BlockHistory();
    Version()->addItem(QStringLiteral("old"));
    Version()->setEditText(QStringLiteral("v2"));

    QString shown;
    bool handlerFinished = false;
    QTimer::singleShot(0, &form, [&] {
        Guarded([&] {
            Access().RememberInputs();
            handlerFinished = true;
        });
    });
    // Answers the error box once it is up.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box && box->isVisible()) {
                shown = box->text();
                box->accept();
                closer.stop();
            }
        }
    });
    closer.start(10);
    QTimer::singleShot(5000, &closer, &QTimer::stop);
    for (int i = 0; i < 500 && closer.isActive(); ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);

    EXPECT_EQ(shown, QStringLiteral("Unable to write to C:\\Tidewell.ini"));
    EXPECT_FALSE(handlerFinished);
    // The list was reordered before the save failed; it stays so.
    EXPECT_EQ(Items(Version()), (QStringList{"v2", "old"}));
    EXPECT_EQ(Version()->currentText(), QStringLiteral("v2"));

    // The window still takes events.
    bool later = false;
    QTimer::singleShot(0, &form, [&] { later = true; });
    for (int i = 0; i < 50 && !later; ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(later);
    EXPECT_TRUE(form.isVisible());
}

// A history file that exists but cannot be read is reported once, in place
// of the ready message, and no save ever writes over it: what it holds would
// be lost. The boxes work on, with lists that live in memory only.
TEST_F(HistoryWindowTest, AnUnreadableHistoryFileIsReportedOnceAndNeverSavedOver) {
    const std::string tooLarge =
        "[VersionHistory]\r\n0=v1\r\n;" + std::string(static_cast<std::size_t>(tw::kMaxProfileBytes), 'x') + "\r\n";
    const std::filesystem::path history = tw::HostPathOf(tw::HistoryIniPath);
    const auto bytes = [&] {
        if (!std::filesystem::is_regular_file(history)) return std::string();
        std::ifstream in(history, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    const struct {
        const char* what;
        std::function<void()> make;
        QString status;
    } cases[] = {
        {"too large", [&] { WriteHistory(tooLarge); },
         QStringLiteral("无法读取历史文件 C:\\Tidewell.ini（超过 4 MiB），本次运行不保存历史记录")},
        {"a folder", [&] { std::filesystem::create_directory(history); },
         QStringLiteral("无法读取历史文件 C:\\Tidewell.ini（不是普通文件），本次运行不保存历史记录")},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(history);
        c.make();
        const std::string before = bytes();
        Open();
        EXPECT_EQ(Status(), c.status) << c.what;
        EXPECT_EQ(Version()->count(), 0) << c.what;

        Version()->setEditText(QStringLiteral("v2"));
        SubDir()->setEditText(QStringLiteral("Servers"));
        Access().RememberInputs();  // raises nothing
        Access().SaveLastUsed();
        EXPECT_EQ(Items(Version()), QStringList{"v2"}) << c.what;
        Close();
        EXPECT_EQ(std::filesystem::is_directory(history), std::string(c.what) == "a folder") << c.what;
        EXPECT_TRUE(bytes() == before) << c.what;  // byte for byte; not printed, it is megabytes
    }
}

}  // namespace
