// The result grid's mechanics: point-to-cell mapping, the fixed header with
// rows scrolling below it, whole-row selection, header-border column sizing
// and the per-cell paint callback with its immediate repaint.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <tuple>
#include <vector>

#include "app/string_grid.h"

namespace {

// Laid out as the main window lays out sgFiles.
class StringGridTest : public ::testing::Test {
protected:
    void SetUp() override {
        grid.SetColCount(6);
        grid.SetRowCount(11);
        grid.SetDefaultRowHeight(18);
        const int widths[] = {25, 40, 195, 150, 80, 80};
        for (int col = 0; col < 6; ++col) grid.SetColWidths(col, widths[col]);
        grid.resize(596, 212);
        grid.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    }

    QWidget* View() { return grid.viewport(); }
    void Send(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at), View()->mapToGlobal(QPointF(at)), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(View(), &event);
    }

    TStringGrid grid;
};

TEST_F(StringGridTest, PointToCellMapping) {
    // Column 5 starts after five columns and five 1-px lines: x = 495.
    struct Case {
        QPoint at;
        int col, row;
    };
    const Case cases[] = {
        {{0, 0}, 0, 0},
        {{24, 17}, 0, 0},    // the cell's last pixel
        {{25, 18}, 0, 0},    // a grid line belongs to the cell left of it and above it
        {{26, 19}, 1, 1},
        {{495, 190}, 5, 10}, // the last row's first pixel row is y = 10 * 19
        {{575, 208}, 5, 10},
        {{576, 20}, -1, -1}, // right of the last column
        {{10, 209}, -1, -1}, // below the last row
        {{-1, 5}, -1, -1},
        {{10, -1}, -1, -1},
        {{700, 700}, -1, -1},
    };
    for (const Case& c : cases) {
        const auto [col, row] = grid.MouseToCell(c.at);
        EXPECT_EQ(std::tuple(col, row), std::tuple(c.col, c.row))
            << "at " << c.at.x() << "," << c.at.y();
    }
    EXPECT_EQ(grid.CellRect(1, 1), QRect(26, 19, 40, 18));
}

TEST_F(StringGridTest, RowsScrollBelowAFixedHeader) {
    // The header and ten rows fit in 212 px; twenty-nine data rows do not.
    EXPECT_FALSE(grid.verticalScrollBar()->isVisible());
    QSignalSpy scrolled(&grid, &TStringGrid::Scrolled);
    grid.SetRowCount(30);
    QApplication::processEvents();
    EXPECT_TRUE(grid.verticalScrollBar()->isVisible());

    grid.verticalScrollBar()->setValue(4);
    EXPECT_EQ(grid.TopRow(), 5);
    ASSERT_EQ(scrolled.count(), 1);
    EXPECT_EQ(scrolled.at(0).at(0).toInt(), 5);
    EXPECT_EQ(grid.MouseToCell(QPoint(30, 5)), std::pair(1, 0));   // the header stays
    EXPECT_EQ(grid.MouseToCell(QPoint(30, 20)), std::pair(1, 5));  // the first row below it
    EXPECT_TRUE(grid.CellRect(0, 4).isEmpty());                     // scrolled out

    // Never beyond the last full page; shrinking brings the rows back.
    grid.SetTopRow(100);
    EXPECT_EQ(grid.TopRow(), 30 - grid.VisibleRowCount());
    grid.SetRow(29);
    grid.SetRowCount(6);
    QApplication::processEvents();
    EXPECT_EQ(grid.TopRow(), 1);
    EXPECT_EQ(grid.Row(), 5);
    EXPECT_FALSE(grid.verticalScrollBar()->isVisible());
    EXPECT_EQ(grid.MouseToCell(QPoint(30, 20)), std::pair(1, 1));

    // Moving the current row below the page scrolls it into view.
    grid.SetRowCount(30);
    grid.SetRow(25);
    EXPECT_GE(25, grid.TopRow());
    EXPECT_LT(25, grid.TopRow() + grid.VisibleRowCount());
}

TEST_F(StringGridTest, PressesSelectRowsAndReachTheHandler) {
    std::vector<std::tuple<Qt::MouseButton, int, int>> presses;
    grid.OnMouseDown = [&](Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
        presses.emplace_back(button, x, y);
    };
    EXPECT_EQ(grid.Row(), 1);

    QTest::mouseClick(View(), Qt::LeftButton, {}, QPoint(100, 3 * 19 + 5));
    EXPECT_EQ(grid.Row(), 3);
    // Other buttons and the header reach the handler but select nothing.
    QTest::mouseClick(View(), Qt::RightButton, {}, QPoint(100, 5 * 19 + 5));
    QTest::mouseClick(View(), Qt::LeftButton, {}, QPoint(100, 5));
    EXPECT_EQ(grid.Row(), 3);
    // Both presses of a double click count: the window system delivers the
    // second one as a double-click event.
    Send(QEvent::MouseButtonPress, {10, 24}, Qt::LeftButton, Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, {10, 24}, Qt::LeftButton, Qt::NoButton);
    Send(QEvent::MouseButtonDblClick, {10, 24}, Qt::LeftButton, Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, {10, 24}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(grid.Row(), 1);

    using P = std::tuple<Qt::MouseButton, int, int>;
    const std::vector<P> expected = {P{Qt::LeftButton, 100, 62}, P{Qt::RightButton, 100, 100},
                                     P{Qt::LeftButton, 100, 5}, P{Qt::LeftButton, 10, 24},
                                     P{Qt::LeftButton, 10, 24}};
    EXPECT_EQ(presses, expected);

    // The keyboard moves the current row within the data rows.
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_Up);
    EXPECT_EQ(grid.Row(), 1);
    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(grid.Row(), 2);
    QTest::keyClick(&grid, Qt::Key_End);
    EXPECT_EQ(grid.Row(), 10);
    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(grid.Row(), 10);
}

TEST_F(StringGridTest, HeaderBordersResizeColumns) {
    // Column 0's right border is the line at x = 25.
    Send(QEvent::MouseButtonPress, {25, 8}, Qt::LeftButton, Qt::LeftButton);
    Send(QEvent::MouseMove, {40, 8}, Qt::NoButton, Qt::LeftButton);
    Send(QEvent::MouseMove, {60, 30}, Qt::NoButton, Qt::LeftButton);  // off the header: still sizing
    Send(QEvent::MouseButtonRelease, {60, 30}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(grid.ColWidths(0), 60);
    EXPECT_EQ(grid.ColWidths(1), 40);
    EXPECT_EQ(grid.MouseToCell(QPoint(61, 5)), std::pair(1, 0));

    // After the release a move sizes nothing; a border in a data row is no handle.
    Send(QEvent::MouseMove, {90, 8}, Qt::NoButton, Qt::NoButton);
    Send(QEvent::MouseButtonPress, {60, 30}, Qt::LeftButton, Qt::LeftButton);
    Send(QEvent::MouseMove, {100, 30}, Qt::NoButton, Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, {100, 30}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(grid.ColWidths(0), 60);
    EXPECT_EQ(grid.Row(), 1);

    // A column dragged down to nothing can be widened again.
    Send(QEvent::MouseButtonPress, {60, 8}, Qt::LeftButton, Qt::LeftButton);
    Send(QEvent::MouseMove, {-20, 8}, Qt::NoButton, Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, {-20, 8}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(grid.ColWidths(0), 1);
    Send(QEvent::MouseButtonPress, {1, 8}, Qt::LeftButton, Qt::LeftButton);
    Send(QEvent::MouseMove, {30, 8}, Qt::NoButton, Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, {30, 8}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(grid.ColWidths(0), 30);
}

TEST_F(StringGridTest, EveryShownCellIsPaintedByTheCallbackAtOnce) {
    struct Painted {
        int col, row;
        QRect rect;
        bool selected;
    };
    std::vector<Painted> painted;
    grid.OnDrawCell = [&](QPainter&, int col, int row, const QRect& rect, bool selected) {
        painted.push_back({col, row, rect, selected});
    };
    grid.SetRow(2);
    QApplication::processEvents();
    painted.clear();

    grid.Repaint();  // not deferred: the cells are painted before it returns
    ASSERT_EQ(painted.size(), 6u * 11u);
    for (const Painted& p : painted) {
        SCOPED_TRACE(::testing::Message() << p.col << "," << p.row);
        EXPECT_EQ(p.selected, p.row == 2);
        EXPECT_EQ(p.rect, grid.CellRect(p.col, p.row));
    }
    EXPECT_EQ(painted.front().rect, QRect(0, 0, 25, 18));

    // Scrolled: the header and the rows from the top row on.
    grid.SetRowCount(30);
    grid.SetTopRow(12);
    painted.clear();
    grid.Repaint();
    ASSERT_FALSE(painted.empty());
    EXPECT_EQ(painted[0].row, 0);
    EXPECT_EQ(painted[6].row, 12);
    EXPECT_EQ(painted[6].rect.top(), 19);
}

}  // namespace
