// The synchronisation run through the window: a real drop, a real click on
// the sync button, and what the operator sees and finds on disk.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "form_fixture.h"
#include "selection/grid_cell.h"

using tw::String;
using twtest::U8;

namespace {

// What the window showed while a run went on: each status text once, in
// order, every value the bar took, and the widget states seen in drains.
struct TRunRecord {
    QStringList statuses;
    std::vector<int> values;
    int drains = 0;
    bool busyInEveryDrain = true;
};

class SyncWindowTest : public twtest::FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        Build(uR"(
            S1\Mir200\Envir\a.txt=new a
            S1\Mir200\Envir\b.txt=new b
            S2\Mir200\Envir\a.txt=old a
            S3\Mir200\
        )");
        // 传奇一区 to 传奇四区 in GBK, as a Chinese Windows system saves them.
        WriteFile(u"S1\\Config.ini", "[Config]\r\nGameName=\xB4\xAB\xC6\xE6\xD2\xBB\xC7\xF8\r\n");
        WriteFile(u"S2\\Config.ini", "[Config]\r\nGameName=\xB4\xAB\xC6\xE6\xB6\xFE\xC7\xF8\r\n");
        WriteFile(u"S3\\Config.ini", "[Config]\r\nGameName=\xB4\xAB\xC6\xE6\xC8\xFD\xC7\xF8\r\n");
        WriteFile(u"S4\\Config.ini", "[Config]\r\nGameName=\xB4\xAB\xC6\xE6\xCB\xC4\xC7\xF8\r\n");
        Shown();
    }

    QPushButton* SyncButton() { return W<QPushButton>("btnSync"); }
    QProgressBar* Bar() { return W<QProgressBar>("ProgressBar1"); }
    bool Busy() { return State().IsProcessing() && !SyncButton()->isEnabled() && !Bar()->isHidden(); }
    // Idle, with the status line painting again (a run paints it at most
    // once a frame and holds back the texts in between).
    bool Idle() {
        return !State().IsProcessing() && SyncButton()->isEnabled() && Bar()->isHidden() &&
               W<QLabel>("StatusPanel")->updatesEnabled();
    }

    // Drops a.txt and b.txt of S1: S2, S3 and S4 are found and ticked.
    void DropBoth() {
        ASSERT_TRUE(Drop({u"S1\\Mir200\\Envir\\a.txt", u"S1\\Mir200\\Envir\\b.txt"}));
        ASSERT_EQ(State().SelectedPaths().size(), 3u);
    }

    // Clicks the sync button and records the run; inDrain(n) runs inside
    // the n-th drain.
    TRunRecord ClickSync(const std::function<void(int)>& inDrain = {}) {
        TRunRecord record;
        const auto note = [&] {
            const QString text = Status();
            if (record.statuses.isEmpty() || record.statuses.back() != text) record.statuses << text;
        };
        const QMetaObject::Connection values =
            QObject::connect(Bar(), &QProgressBar::valueChanged, [&](int value) {
                record.values.push_back(value);
                if (value != 0) note();  // at 0 the start text is not out yet
            });
        QTimer drainProbe;
        drainProbe.setInterval(0);
        QObject::connect(&drainProbe, &QTimer::timeout, [&] {
            ++record.drains;
            note();
            record.busyInEveryDrain = record.busyInEveryDrain && Busy();
            if (inDrain) inDrain(record.drains);
        });
        drainProbe.start();
        QTest::mouseClick(SyncButton(), Qt::LeftButton);
        drainProbe.stop();
        QObject::disconnect(values);
        note();
        return record;
    }

    QString Moving(std::u16string_view name, std::u16string_view target) {
        return QStringLiteral("同步中: ") + ToQString(String(name)) + QStringLiteral(" -> ") +
               ToQString(Path(target));
    }
};

TEST_F(SyncWindowTest, ClickCopiesEverythingAndShowsTheRun) {
    DropBoth();
    EXPECT_TRUE(Idle());
    ASSERT_FALSE(State().CompareInfos()[0].IsSameMD5);

    const TRunRecord run = ClickSync();

    for (const char16_t* dir : {u"S2", u"S3", u"S4"}) {
        EXPECT_EQ(ReadFile(String(dir) + u"\\Mir200\\Envir\\a.txt"), "new a") << U8(dir);
        EXPECT_EQ(ReadFile(String(dir) + u"\\Mir200\\Envir\\b.txt"), "new b") << U8(dir);
    }
    EXPECT_EQ(run.statuses, (QStringList{
                                QStringLiteral("开始同步 2 个文件到 3 个目录..."),
                                Moving(u"a.txt", u"S2\\Mir200\\Envir\\a.txt"),
                                Moving(u"b.txt", u"S2\\Mir200\\Envir\\b.txt"),
                                Moving(u"a.txt", u"S3\\Mir200\\Envir\\a.txt"),
                                Moving(u"b.txt", u"S3\\Mir200\\Envir\\b.txt"),
                                Moving(u"a.txt", u"S4\\Mir200\\Envir\\a.txt"),
                                Moving(u"b.txt", u"S4\\Mir200\\Envir\\b.txt"),
                                QStringLiteral("同步完成！成功: 6, 失败: 0"),
                            }));
    EXPECT_EQ(run.values, (std::vector<int>{16, 33, 50, 66, 83, 100}));
    EXPECT_EQ(run.drains, 6);
    EXPECT_TRUE(run.busyInEveryDrain);
    EXPECT_TRUE(Idle());

    // A second run starts the bar from 0 again, and finds every file in place.
    const TRunRecord again = ClickSync();
    EXPECT_EQ(again.values, (std::vector<int>{0, 16, 33, 50, 66, 83, 100}));
    EXPECT_EQ(again.statuses.back(), QStringLiteral("同步完成！成功: 6, 失败: 0"));
    EXPECT_TRUE(Idle());

    // Every row now shows the dropped file as the same.
    const std::function<int(tw::StringView)> width = [](tw::StringView s) { return static_cast<int>(s.size()) * 8; };
    const tw::TGridState grid{State().SourcePaths(), State().CompareInfos(), State().CheckStates(), -1, -1};
    for (int row = 1; row <= 3; ++row) {
        EXPECT_TRUE(State().CompareInfos()[row - 1].IsSameMD5) << row;
        EXPECT_EQ(U8(tw::DecideCell(grid, 4, row, false, u"", 100, width).Text), "相同") << row;
    }
    // The selection is the operator's; the run leaves it.
    EXPECT_EQ(State().SelectedPaths().size(), 3u);
}

TEST_F(SyncWindowTest, NothingToDoIsRefusedWithoutTouchingTheHistory) {
    const String ini = State().GetIniPath();
    // Nothing dropped yet.
    QTest::mouseClick(SyncButton(), Qt::LeftButton);
    EXPECT_EQ(Status(), QStringLiteral("请先拖入文件进行搜索"));

    // Everything unticked.
    DropBoth();
    QTest::mouseClick(W<QPushButton>("btnInvertSelect"), Qt::LeftButton);
    ASSERT_TRUE(State().SelectedPaths().empty());
    QTest::mouseClick(SyncButton(), Qt::LeftButton);
    EXPECT_EQ(Status(), QStringLiteral("没有选中任何路径"));

    // A folder without files.
    MakeDir(u"S1\\Mir200\\Empty\\");
    ASSERT_TRUE(Drop({u"S1\\Mir200\\Empty"}));
    ASSERT_FALSE(State().SelectedPaths().empty());
    QTest::mouseClick(SyncButton(), Qt::LeftButton);
    EXPECT_EQ(Status(), QStringLiteral("没有要同步的文件"));

    EXPECT_FALSE(tw::IsFile(ini));
    EXPECT_FALSE(Exists(u"S2\\Mir200\\Envir\\b.txt"));
    EXPECT_TRUE(Idle());
}

// The click puts the texts back without a list entry selected and records
// them in the histories, before and after the run.
TEST_F(SyncWindowTest, BoxesKeepTheirTextsAndGoToTheHistory) {
    QComboBox* version = W<QComboBox>("cbVersion");
    version->addItem(QStringLiteral("传奇"));
    version->addItem(QStringLiteral("old"));
    version->setCurrentIndex(0);
    DropBoth();

    ClickSync([&](int drain) {
        // Typed during the run; the kept text comes back at the end.
        if (drain == 1) version->setEditText(QStringLiteral("typed meanwhile"));
    });
    EXPECT_EQ(version->currentText(), QStringLiteral("传奇"));
    EXPECT_EQ(version->currentIndex(), -1);
    const tw::TIniFile ini(State().GetIniPath());
    EXPECT_EQ(U8(ini.ReadValue(u"LastUsed", u"Version")), "传奇");
    EXPECT_EQ(U8(ini.ReadValue(u"VersionHistory", u"0")), "传奇");
    EXPECT_EQ(U8(ini.ReadValue(u"VersionHistory", u"1")), "old");
}

TEST_F(SyncWindowTest, UnwritableHistoryBeforeTheRunStopsTheClick) {
    DropBoth();
    W<QComboBox>("cbVersion")->setEditText(QStringLiteral("传奇"));
    BlockHistory();

    const twtest::TShownBox box = twtest::AnswerErrorBox([&] { QTest::mouseClick(SyncButton(), Qt::LeftButton); });
    EXPECT_TRUE(box.shown);
    EXPECT_EQ(box.text, QStringLiteral("Unable to write to C:\\Tidewell.ini"));
    EXPECT_FALSE(Exists(u"S2\\Mir200\\Envir\\b.txt"));
    EXPECT_EQ(ReadFile(u"S2\\Mir200\\Envir\\a.txt"), "old a");
    EXPECT_FALSE(Status().startsWith(QStringLiteral("开始同步")));
    EXPECT_TRUE(Idle());
}

// The save after the run fails: the error box shows it, and the window is
// idle again with the copies made and the completion message kept. The save
// is made only when a kept text is not empty (a blank one counts); with both
// boxes empty the click's save was the only one.
TEST_F(SyncWindowTest, UnwritableHistoryAtTheEndStillEndsIdle) {
    const struct {
        QString version;
        bool saved;
    } cases[] = {
        {QStringLiteral("传奇"), true},
        {QStringLiteral(" "), true},
        {QString(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("version \"" + c.version.toStdString() + "\"");
        TearDown();
        SetUp();
        DropBoth();
        W<QComboBox>("cbVersion")->setEditText(c.version);
        bool blocked = false;
        QTimer probe;
        probe.setInterval(0);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (State().IsProcessing() && !blocked) {
                BlockHistory();
                blocked = true;
            }
        });
        // Answers the error box, should one come up inside the click.
        twtest::TShownBox box;
        QTimer closer;
        closer.setInterval(0);
        QObject::connect(&closer, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* shown = qobject_cast<QMessageBox*>(w); shown != nullptr && shown->isVisible()) {
                    box.shown = true;
                    box.text = shown->text();
                    shown->accept();
                }
            }
        });
        probe.start();
        closer.start();
        QTest::mouseClick(SyncButton(), Qt::LeftButton);
        probe.stop();
        closer.stop();

        ASSERT_TRUE(blocked);
        EXPECT_EQ(box.shown, c.saved);
        if (c.saved) {
            EXPECT_EQ(box.text, QStringLiteral("Unable to write to C:\\Tidewell.ini"));
        }
        EXPECT_EQ(ReadFile(u"S4\\Mir200\\Envir\\b.txt"), "new b");
        EXPECT_EQ(Status(), QStringLiteral("同步完成！成功: 6, 失败: 0"));
        EXPECT_EQ(W<QComboBox>("cbVersion")->currentText(), c.version);
        EXPECT_TRUE(Idle());
    }
}

// Ticks stay live in a run and drops are refused. Unticking everything
// while the first directory is served ends the run after it, with our
// message, and the window idle.
TEST_F(SyncWindowTest, SelectionButtonsStayLiveAndDropsAreRefused) {
    DropBoth();
    const std::vector<String> dropped = State().DroppedFileNames();
    QString afterDrop;
    const TRunRecord run = ClickSync([&](int drain) {
        if (drain != 1) return;
        Drop({u"S2\\Config.ini"});
        afterDrop = Status();
        QTest::mouseClick(W<QPushButton>("btnInvertSelect"), Qt::LeftButton);
    });
    EXPECT_EQ(afterDrop, QStringLiteral("正在处理中，请稍候..."));
    EXPECT_EQ(State().DroppedFileNames(), dropped);
    EXPECT_TRUE(State().SelectedPaths().empty());
    // The first directory still takes its second file; no other is served.
    EXPECT_EQ(ReadFile(u"S2\\Mir200\\Envir\\b.txt"), "new b");
    EXPECT_FALSE(Exists(u"S3\\Mir200\\Envir\\a.txt"));
    EXPECT_EQ(run.values, (std::vector<int>{16}));
    EXPECT_EQ(Status(), QStringLiteral("同步出错: 同步期间选中的目录减少为 0 个，第 2 个目录已不在选择中"));
    EXPECT_TRUE(Idle());
}

// Closing the window in a run ends the run after the file being copied,
// then closes the window; nothing is left half-written.
TEST_F(SyncWindowTest, ClosingDuringTheRunStopsAfterTheCurrentFile) {
    DropBoth();
    bool stillOpenInDrain = false;
    ClickSync([&](int drain) {
        if (drain != 1) return;
        Form().close();
        stillOpenInDrain = Form().isVisible();
    });
    EXPECT_TRUE(stillOpenInDrain);
    EXPECT_FALSE(Form().isVisible());
    EXPECT_FALSE(State().IsProcessing());
    EXPECT_EQ(ReadFile(u"S2\\Mir200\\Envir\\a.txt"), "new a");
    EXPECT_FALSE(Exists(u"S2\\Mir200\\Envir\\b.txt"));
    EXPECT_FALSE(Exists(u"S3\\Mir200\\Envir"));
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(Host(u"S2\\Mir200\\Envir"))) ++entries;
    EXPECT_EQ(entries, 1);
}

}  // namespace
