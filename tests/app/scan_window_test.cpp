// A drop fills the result grid: the scan runs, the ticks, the three
// selection buttons, clicks in the tick column, and what the grid paints.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <stdexcept>

#include "form_fixture.h"

namespace {

using tw::String;
using twtest::U8;

class ScanWindowTest : public twtest::FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        Build(uR"(
            Config.ini=[Config]|GameName=RootGame
            S1\Mir200\Envir\a.txt=new content
            S2\Mir200\Envir\a.txt=new content
            S3\Config.ini=[Config]|GameName=Other
            S3\Mir200\Envir\a.txt=old
            Plain\
        )");
        // 传奇A and 传奇B in GBK, as a Chinese Windows system saves them.
        WriteFile(u"S1\\Config.ini", "[Config]\r\nGameName=\xB4\xAB\xC6\xE6" "A\r\n");
        WriteFile(u"S2\\Config.ini", "[Config]\r\nGameName=\xB4\xAB\xC6\xE6" "A\r\n");
        WriteFile(u"S4\\Config.ini", "[Config]\r\nGameName=\xB4\xAB\xC6\xE6" "B\r\n");
    }

    // The grid row (1-based) that shows dir; 0 when none does.
    int RowOf(std::u16string_view rel) {
        const auto& paths = State().SourcePaths();
        const auto it = std::find(paths.begin(), paths.end(), Path(rel));
        return it == paths.end() ? 0 : static_cast<int>(it - paths.begin()) + 1;
    }
    QPoint CellCentre(int col, int row) { return Grid()->CellRect(col, row).center(); }
    void ClickTick(int row, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(Grid()->viewport(), button, {}, CellCentre(0, row));
    }
    void SetBox(const char* name, const QString& text) {
        W<QComboBox>(name)->setEditText(text);
    }
    // The search message for the drive under test.
    QString Searching() const {
        return QStringLiteral("正在搜索 ") + ToQString(Drive()) + QStringLiteral(" 盘下的目录...");
    }
};

TEST_F(ScanWindowTest, DropFillsTheGridWithEverySiblingInstallation) {
    ASSERT_TRUE(Drop({u"S1\\Mir200\\Envir\\a.txt"}));

    // S1, the installation the file came from, is left out in root mode;
    // Plain has no Config.ini.
    std::vector<std::string> found;
    for (const String& p : State().SourcePaths()) found.push_back(U8(p));
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{U8(Path(u"S2")), U8(Path(u"S3")), U8(Path(u"S4"))}));
    EXPECT_EQ(State().CompareInfos().size(), 3u);
    EXPECT_EQ(State().CheckStates(), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(State().SelectedPaths(), State().SourcePaths());

    EXPECT_EQ(Statuses(), (QStringList{QStringLiteral("已读取 GameName: RootGame"), Searching(),
                                       QStringLiteral("找到 3 个目录 "),
                                       QStringLiteral("找到 3 个目录 ")}));
    EXPECT_EQ(Status(), QStringLiteral("找到 3 个目录 "));

    // Header plus one row per installation; stored texts are number and path.
    EXPECT_EQ(Grid()->RowCount(), 4);
    for (int row = 1; row <= 3; ++row) {
        EXPECT_EQ(Grid()->Cells(1, row), QString::number(row));
        EXPECT_EQ(Grid()->Cells(2, row), ToQString(State().SourcePaths()[row - 1]));
    }
    const auto& infos = State().CompareInfos();
    EXPECT_TRUE(infos[RowOf(u"S2") - 1].IsSameMD5);
    EXPECT_EQ(U8(infos[RowOf(u"S3") - 1].SizeCompare), "较小");
    EXPECT_FALSE(infos[RowOf(u"S4") - 1].FileExists);
    EXPECT_EQ(U8(infos[RowOf(u"S4") - 1].GameName), "传奇B");
}

// The drop is accepted at once and taken in from the event loop, so the
// file manager that started the drag is released before any work starts.
TEST_F(ScanWindowTest, DropIsTakenInFromTheEventLoop) {
    const auto mime = Mime({Dropped(u"S1\\Mir200\\Envir\\a.txt")});
    QWidget* target = Grid()->viewport();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_TRUE(State().DroppedPath().empty());
    EXPECT_TRUE(Statuses().isEmpty());
    Settle();
    EXPECT_EQ(State().DroppedPath(), Path(u"S1\\Mir200\\Envir\\a.txt"));
    EXPECT_EQ(Status(), QStringLiteral("找到 3 个目录 "));
}

// The drop scan catches nothing: its error reaches the general error box,
// the lists stay as far as they had got, and the window goes on.
TEST_F(ScanWindowTest, DropScanErrorReachesTheErrorBox) {
    State().SearchProbe() = [] { throw tw::EInOutError(u"磁盘错误"); };
    const twtest::TShownBox box = twtest::AnswerErrorBox([&] { Drop({u"S1\\Mir200\\Envir\\a.txt"}); });
    EXPECT_TRUE(box.shown);
    EXPECT_EQ(box.text, QStringLiteral("磁盘错误"));
    EXPECT_EQ(Status(), Searching());
    EXPECT_EQ(State().SourcePaths().size(), 3u);
    EXPECT_TRUE(State().CompareInfos().empty());
    EXPECT_FALSE(State().InputHold().Holding());

    State().SearchProbe() = nullptr;
    ASSERT_TRUE(Drop({u"S1\\Mir200\\Envir\\a.txt"}));
    EXPECT_EQ(Status(), QStringLiteral("找到 3 个目录 "));
}

TEST_F(ScanWindowTest, ScanTicksByBothBoxes) {
    SetBox("cbVersion", QStringLiteral("传奇"));
    ASSERT_TRUE(Drop({u"S1\\Mir200\\Envir\\a.txt"}));
    EXPECT_FALSE(State().CheckStates()[RowOf(u"S3") - 1]);
    EXPECT_TRUE(State().CheckStates()[RowOf(u"S2") - 1]);
    EXPECT_EQ(State().SelectedPaths().size(), 2u);

    // Typing a version name changes no tick until the button is pressed.
    SetBox("cbVersion", QStringLiteral("传奇B"));
    EXPECT_TRUE(State().CheckStates()[RowOf(u"S2") - 1]);
    ClearStatuses();
    QTest::mouseClick(W<QPushButton>("btnVersionSelect"), Qt::LeftButton);
    EXPECT_EQ(State().SelectedPaths(), (std::vector<String>{Path(u"S4")}));
    EXPECT_EQ(Statuses(), QStringList{QStringLiteral("已选中 1 个目录，包含 1 个文件")});
    // "一键选中" with a version text saves the last-used pair.
    EXPECT_TRUE(tw::IsFile(u"C:\\Tidewell.ini"));
}

TEST_F(ScanWindowTest, SelectionButtons) {
    // With no results all three do nothing and say nothing.
    for (const char* name : {"btnVersionSelect", "btnSelectAll", "btnInvertSelect"}) {
        QTest::mouseClick(W<QPushButton>(name), Qt::LeftButton);
    }
    EXPECT_TRUE(Statuses().isEmpty());
    EXPECT_EQ(Status(), QStringLiteral("就绪 - 拖入文件开始搜索"));

    ASSERT_TRUE(Drop({u"S1\\Mir200\\Envir\\a.txt", u"S1\\Config.ini"}));
    ClearStatuses();
    QTest::mouseClick(W<QPushButton>("btnInvertSelect"), Qt::LeftButton);
    EXPECT_EQ(State().CheckStates(), (std::vector<bool>{false, false, false}));
    EXPECT_TRUE(State().SelectedPaths().empty());
    QTest::mouseClick(W<QPushButton>("btnInvertSelect"), Qt::LeftButton);
    EXPECT_EQ(State().CheckStates(), (std::vector<bool>{true, true, true}));
    ClickTick(2);
    QTest::mouseClick(W<QPushButton>("btnSelectAll"), Qt::LeftButton);
    EXPECT_EQ(State().CheckStates(), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(Statuses(), (QStringList{QStringLiteral("已选中 0 个目录，包含 2 个文件"),
                                       QStringLiteral("已选中 3 个目录，包含 2 个文件"),
                                       QStringLiteral("已选中 2 个目录，包含 2 个文件"),
                                       QStringLiteral("已选中 3 个目录，包含 2 个文件")}));

    // "一键选中" with an empty version box ticks by the subfolder alone and
    // writes no history file.
    State().CheckStates() = {false, false, false};
    QTest::mouseClick(W<QPushButton>("btnVersionSelect"), Qt::LeftButton);
    EXPECT_EQ(State().CheckStates(), (std::vector<bool>{true, true, true}));
    EXPECT_FALSE(tw::IsFile(u"C:\\Tidewell.ini"));
}

TEST_F(ScanWindowTest, ClicksInTheTickColumn) {
    Shown();
    ASSERT_TRUE(Drop({u"S1\\Mir200\\Envir\\a.txt"}));
    ClearStatuses();
    ClickTick(2);
    EXPECT_EQ(State().CheckStates(), (std::vector<bool>{true, false, true}));
    EXPECT_EQ(State().SelectedPaths(),
              (std::vector<String>{State().SourcePaths()[0], State().SourcePaths()[2]}));
    ClickTick(2, Qt::RightButton);  // any button toggles
    ClickTick(3, Qt::MiddleButton);
    EXPECT_EQ(State().CheckStates(), (std::vector<bool>{true, true, false}));
    // Both presses of a double click count: the tick ends as it was.
    // (The window system delivers a double click as a press, a release, a
    // double-click event and a release.)
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, CellCentre(0, 1));
    QMouseEvent dbl(QEvent::MouseButtonDblClick, CellCentre(0, 1), Grid()->viewport()->mapToGlobal(CellCentre(0, 1)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Grid()->viewport(), &dbl);
    QTest::mouseRelease(Grid()->viewport(), Qt::LeftButton, {}, CellCentre(0, 1));
    EXPECT_TRUE(State().CheckStates()[0]);
    EXPECT_EQ(Statuses().size(), 5);
    EXPECT_EQ(Statuses().back(), QStringLiteral("已选中 2 个目录，包含 1 个文件"));

    // The header, other columns and rows below the last directory do nothing.
    ClearStatuses();
    ClickTick(0);
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, CellCentre(1, 1));
    EXPECT_TRUE(Statuses().isEmpty());
    EXPECT_EQ(State().CheckStates(), (std::vector<bool>{true, true, false}));

    // Setting a tick to the value it has still reports; an index without a
    // tick entry does nothing at all.
    ClearStatuses();
    State().SetCheckState(0, true);
    State().SetCheckState(-1, false);
    State().SetCheckState(3, false);
    EXPECT_EQ(Statuses(), QStringList{QStringLiteral("已选中 2 个目录，包含 1 个文件")});
    ClearStatuses();

    // A tick list shorter than the result list: the row without a tick entry
    // reads ticked, is not selected, and its click changes nothing.
    State().CheckStates().resize(2);
    ClickTick(3);
    EXPECT_TRUE(Statuses().isEmpty());
    EXPECT_TRUE(State().GetCheckState(2));

    // The keyboard moves the current row but never changes a tick.
    Grid()->setFocus();
    QTest::keyClick(Grid(), Qt::Key_Down);
    QTest::keyClick(Grid(), Qt::Key_Space);
    EXPECT_EQ(State().CheckStates(), (std::vector<bool>{true, true}));
}

TEST_F(ScanWindowTest, RescanFollowsTheSubfolderBox) {
    Build(uR"(
        Servers\A1\Config.ini=[Config]|GameName=G
        Servers\A2\Config.ini=[Config]|GameName=G
    )");
    ASSERT_TRUE(Drop({u"S1\\Mir200\\Envir\\a.txt"}));
    ASSERT_EQ(Grid()->RowCount(), 4);

    SetBox("cbSubDir", QStringLiteral(" Servers "));
    ClearStatuses();
    State().RescanForSubDir();
    EXPECT_EQ(State().SourcePaths().size(), 2u);
    EXPECT_EQ(Grid()->RowCount(), 3);
    EXPECT_EQ(Statuses(), (QStringList{QStringLiteral("正在根据子文件夹 \" Servers \" 重新扫描..."),
                                       QStringLiteral("找到 2 个目录 "),
                                       QStringLiteral("找到 2 个目录 (子文件夹:  Servers )")}));

    // Nothing found: the grid keeps its row count, all rows blank.
    SetBox("cbSubDir", QStringLiteral("Nowhere"));
    ClearStatuses();
    State().RescanForSubDir();
    EXPECT_TRUE(State().SourcePaths().empty());
    EXPECT_TRUE(State().CompareInfos().empty());
    EXPECT_EQ(Grid()->RowCount(), 3);
    EXPECT_EQ(Grid()->Cells(2, 1), QString());
    EXPECT_EQ(Statuses(), (QStringList{QStringLiteral("正在根据子文件夹 \"Nowhere\" 重新扫描..."),
                                       QStringLiteral("子目录 \"Nowhere\" 不存在"),
                                       QStringLiteral("未找到符合条件的目录 (子文件夹: Nowhere)")}));

    // An emptied box rescans in root mode.
    SetBox("cbSubDir", QString());
    State().RescanForSubDir();
    EXPECT_EQ(Status(), QStringLiteral("找到 3 个目录 (子文件夹: )"));

    // No rescan without dropped files.
    State().DroppedFileNames().clear();
    ClearStatuses();
    State().RescanForSubDir();
    EXPECT_TRUE(Statuses().isEmpty());
}

TEST_F(ScanWindowTest, RescanErrorIsShownAndTheWindowGoesOn) {
    ASSERT_TRUE(Drop({u"S1\\Mir200\\Envir\\a.txt"}));
    State().SearchProbe() = [] { throw tw::EInOutError(u"磁盘错误"); };
    State().RescanForSubDir();
    EXPECT_EQ(Status(), QStringLiteral("重新扫描出错: 磁盘错误"));
    // The block had cleared the lists and searched: the grid is not refilled.
    EXPECT_EQ(State().SourcePaths().size(), 3u);
    EXPECT_TRUE(State().CompareInfos().empty());

    State().SearchProbe() = [] { throw std::runtime_error("bad"); };
    State().RescanForSubDir();
    EXPECT_EQ(Status(), QStringLiteral("重新扫描出错: bad"));

    State().SearchProbe() = nullptr;
    State().RescanForSubDir();
    EXPECT_EQ(Status(), QStringLiteral("找到 3 个目录 (子文件夹: )"));
}

TEST_F(ScanWindowTest, DropScanThatFindsNothing) {
    ASSERT_TRUE(Drop({u"S1\\Mir200\\Envir\\a.txt"}));
    Build(u"S9\\b.txt");
    SetBox("cbSubDir", QStringLiteral("Plain"));
    ClearStatuses();
    ASSERT_TRUE(Drop({u"S9\\b.txt"}));
    EXPECT_EQ(Statuses(), (QStringList{QStringLiteral("已读取 GameName: RootGame"), Searching(),
                                       QStringLiteral("未找到符合条件的目录")}));
    EXPECT_TRUE(State().SourcePaths().empty());
    EXPECT_TRUE(State().CheckStates().empty());
    EXPECT_EQ(Grid()->RowCount(), 4);  // the rows stay, painted blank
}

// Input that reaches the window while a scan lets the queue run waits for
// the scan's end: it never sees a half-built list, and is not lost.
TEST_F(ScanWindowTest, InputDuringTheScanWaitsForItsEnd) {
    Shown();
    ASSERT_TRUE(Drop({u"S1\\Mir200\\Envir\\a.txt"}));
    ASSERT_EQ(State().SourcePaths().size(), 3u);

    // During the next scan's drain: a click on a tick, a second drop, and
    // a third as a drop message handed straight to the window.
    std::vector<std::size_t> seenDuringDrain;
    String droppedDuringDrain;
    QTimer::singleShot(0, &Form(), [&] {
        seenDuringDrain.push_back(State().SourcePaths().size());
        ClickTick(1);
        DropOn(Grid()->viewport(), Mime({Dropped(u"S1\\Config.ini")}));
        Form().WMDropFiles({Path(u"S2\\Config.ini")});
        seenDuringDrain.push_back(State().CheckStates().size());
        droppedDuringDrain = State().DroppedPath();
    });
    SetBox("cbSubDir", QStringLiteral("S1\\Mir200"));  // no installations there
    ClearStatuses();
    State().RescanForSubDir();
    Settle();
    // Inside the drain nothing ran: the old lists were still whole.
    EXPECT_EQ(seenDuringDrain, (std::vector<std::size_t>{3, 3}));
    EXPECT_EQ(droppedDuringDrain, Path(u"S1\\Mir200\\Envir\\a.txt"));
    // Afterwards, in order: the rescan, then the click (on the empty grid,
    // so it does nothing), then each drop with its own scan.
    const QStringList dropScan = {QStringLiteral("已读取 GameName: RootGame"),
                                  Searching(),
                                  QStringLiteral("未找到符合条件的目录")};
    EXPECT_EQ(Statuses(), QStringList({QStringLiteral("正在根据子文件夹 \"S1\\Mir200\" 重新扫描..."),
                                       QStringLiteral("未找到符合条件的目录 (子文件夹: S1\\Mir200)")}) +
                              dropScan + dropScan);
    EXPECT_EQ(State().DroppedPath(), Path(u"S2\\Config.ini"));
}

class GridPaintTest : public ScanWindowTest {
protected:
    QImage Picture() { return Grid()->viewport()->grab().toImage(); }
    QRgb Role(QPalette::ColorRole role) { return Grid()->palette().color(role).rgb(); }
    // Whether text in rect is drawn in pure red: thin strokes blend with the
    // background at their edges, so a pixel that is mostly red will do; no
    // text or background colour of the palette comes near it.
    static bool HasRedText(const QImage& image, const QRect& rect) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            for (int y = rect.top(); y <= rect.bottom(); ++y) {
                const QRgb px = image.pixel(x, y);
                if (qRed(px) >= 200 && qGreen(px) <= 60 && qBlue(px) <= 60) return true;
            }
        }
        return false;
    }
    // The pointer moves over the grid, reported as the window system does;
    // sent, not made by moving the cursor, which the minimal platform of the
    // Windows run does not have.
    void MoveTo(const QPoint& at) {
        QWidget* view = Grid()->viewport();
        QMouseEvent move(QEvent::MouseMove, at, view->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(view, &move);
    }
};

TEST_F(GridPaintTest, TickRedTextAndHover) {
    Shown();
    ASSERT_TRUE(Drop({u"S1\\Mir200\\Envir\\a.txt"}));
    Grid()->SetRow(1);
    const int missing = RowOf(u"S4");
    ASSERT_NE(missing, 1);  // so that it is not the selected row
    ClickTick(missing);      // unticked now; selects no row (the click selects it)
    Grid()->SetRow(missing == 2 ? 3 : 2);
    MoveTo(QPoint(590, 150));  // over no data cell

    const QImage image = Picture();
    const QRect tickCell = Grid()->CellRect(0, 1);
    const int L = tickCell.left();
    const int T = tickCell.top();
    // The box outline and the tick in button text, its inside in window colour.
    EXPECT_EQ(image.pixel(L + 5, T + 2), Role(QPalette::ButtonText));
    EXPECT_EQ(image.pixel(L + 18, T + 15), Role(QPalette::ButtonText));
    EXPECT_EQ(image.pixel(L + 15, T + 13), Role(QPalette::Base));
    EXPECT_EQ(image.pixel(L + 11, T + 11), Role(QPalette::ButtonText));  // on the tick
    EXPECT_EQ(image.pixel(L + 14, T + 7), Role(QPalette::ButtonText));
    // The unticked box has no tick.
    const QRect empty = Grid()->CellRect(0, missing);
    EXPECT_EQ(image.pixel(empty.left() + 11, empty.top() + 11), Role(QPalette::Base));
    // The cell's last pixel column and row take the shadow colour.
    EXPECT_EQ(image.pixel(tickCell.right(), T + 5), Role(QPalette::Dark));
    EXPECT_EQ(image.pixel(L + 3, tickCell.bottom()), Role(QPalette::Dark));

    // The 2-px tick passes through its three corners.
    for (const QPoint corner : {QPoint(L + 8, T + 9), QPoint(L + 11, T + 12), QPoint(L + 16, T + 5)}) {
        EXPECT_EQ(image.pixel(corner), Role(QPalette::ButtonText)) << corner.x() - L << "," << corner.y() - T;
    }

    // "不存在" is drawn in pure red.
    EXPECT_TRUE(HasRedText(image, Grid()->CellRect(4, missing)));

    // The hover cell gets the button-face background, once per cell change.
    const QRect game = Grid()->CellRect(3, missing);
    int paints = 0;
    Grid()->OnDrawCell = [&, draw = Grid()->OnDrawCell](QPainter& p, int c, int r, const QRect& rc,
                                                         bool s) {
        if (c == 0 && r == 0) ++paints;
        draw(p, c, r, rc, s);
    };
    MoveTo(game.center());
    MoveTo(game.center() + QPoint(3, 1));  // same cell
    EXPECT_EQ(paints, 1);
    EXPECT_EQ(State().HoverRow(), missing);
    EXPECT_EQ(State().HoverCol(), 3);
    EXPECT_EQ(Picture().pixel(game.right() - 2, game.top() + 1), Role(QPalette::Button));
}

// The selected row: highlight behind every cell, over the hover colour too;
// a missing file's text stays pure red there; the tick box keeps its inside.
TEST_F(GridPaintTest, SelectedRow) {
    Shown();
    ASSERT_TRUE(Drop({u"S1\\Mir200\\Envir\\a.txt"}));
    const int missing = RowOf(u"S4");
    Grid()->SetRow(missing);
    const QRect game = Grid()->CellRect(3, missing);
    MoveTo(game.center());
    ASSERT_EQ(State().HoverRow(), missing);

    const QImage image = Picture();
    for (int col = 0; col < 6; ++col) {
        const QRect cell = Grid()->CellRect(col, missing);
        EXPECT_EQ(image.pixel(cell.left() + 1, cell.top() + 1), Role(QPalette::Highlight)) << col;
    }
    EXPECT_TRUE(HasRedText(image, Grid()->CellRect(4, missing)));
    EXPECT_TRUE(HasRedText(image, Grid()->CellRect(5, missing)));
    const QRect tick = Grid()->CellRect(0, missing);
    EXPECT_EQ(image.pixel(tick.left() + 6, tick.top() + 3), Role(QPalette::Base));
    // Another row's path is not red.
    const int other = missing == 1 ? 2 : 1;
    EXPECT_FALSE(HasRedText(image, Grid()->CellRect(2, other)));
}

}  // namespace
