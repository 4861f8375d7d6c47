// TStringGrid: a string grid with one fixed header row, whole-row selection,
// header-border column sizing, a vertical scroll bar and a per-cell paint
// callback. Row 0 is the header; it stays in place while the rows below it
// scroll by whole rows.
#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <functional>
#include <utility>
#include <vector>

class QPainter;

class TStringGrid : public QAbstractScrollArea {
    Q_OBJECT

public:
    // Paints one cell completely. rect covers the area between the grid
    // lines (right and bottom exclusive); selected tells whether the cell
    // lies in the current row (never for the header row).
    using TDrawCellEvent =
        std::function<void(QPainter& painter, int col, int row, const QRect& rect, bool selected)>;
    // x, y in the grid's client (viewport) coordinates.
    using TMouseEvent =
        std::function<void(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)>;
    using TMouseMoveEvent = std::function<void(Qt::KeyboardModifiers shift, int x, int y)>;

    static constexpr int kGridLineWidth = 1;
    static constexpr int kFixedRows = 1;

    explicit TStringGrid(QWidget* parent = nullptr);

    int ColCount() const { return static_cast<int>(colWidths_.size()); }
    void SetColCount(int count);
    int RowCount() const { return rowCount_; }
    void SetRowCount(int count);  // at least one row below the header
    int DefaultRowHeight() const { return rowHeight_; }
    void SetDefaultRowHeight(int height);  // every row, also rows added later

    int ColWidths(int col) const;
    void SetColWidths(int col, int width);

    QString Cells(int col, int row) const;  // empty outside the grid
    void SetCells(int col, int row, const QString& text);

    // The current (selected) row; a data row, 1 at start.
    int Row() const { return row_; }
    void SetRow(int row);
    // The first data row shown below the header.
    int TopRow() const { return topRow_; }
    void SetTopRow(int row);
    // Data rows that fit completely below the header.
    int VisibleRowCount() const;

    // The rectangle of a cell in client coordinates, grid lines excluded;
    // empty when the cell is not shown.
    QRect CellRect(int col, int row) const;
    // The cell under a point in client coordinates: (col, row), or (-1, -1)
    // when the point lies on no cell. A grid line belongs to the cell on its
    // left or above it.
    std::pair<int, int> MouseToCell(const QPoint& point) const;

    // Repaints the whole grid now, not at the next paint cycle.
    void Repaint();

    TDrawCellEvent OnDrawCell;      // empty: the stored texts are drawn
    TMouseEvent OnMouseDown;        // every press, each press of a double click too
    TMouseMoveEvent OnMouseMove;    // every pointer move over the cells' area

signals:
    // The rows below the header scrolled (TopRow changed).
    void Scrolled(int topRow);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int rowCount_ = 0;
    int rowHeight_ = 18;
    int row_ = 1;
    int topRow_ = 1;
    std::vector<int> colWidths_;
    std::vector<std::vector<QString>> cells_;  // [row][col]
    int sizingCol_ = -1;  // column whose right border is being dragged
    int sizingOrigin_ = 0;  // x of that column's left edge

    int ColLeft(int col) const;
    int RowTop(int row) const;  // -1 for a data row scrolled out above
    int MaxTopRow() const;
    int SizingBorderAt(const QPoint& point) const;
    void UpdateScrollBar();
    void ScrollToRow(int row);
    void PressAt(QMouseEvent* event);
    void PaintCells();
    void DefaultDrawCell(QPainter& painter, int col, int row, const QRect& rect, bool selected);
};
