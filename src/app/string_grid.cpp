// TStringGrid: cells, geometry, mouse and key handling, and painting.
#include "app/string_grid.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <algorithm>
#include <cstdlib>

#include "app/application.h"

namespace {
constexpr int kDefaultColWidth = 64;
constexpr int kSizingZone = 3;  // px either side of a header border that grab it
constexpr int kMinColWidth = 1;
}  // namespace

TStringGrid::TStringGrid(QWidget* parent) : QAbstractScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    verticalScrollBar()->setSingleStep(1);
    SetColCount(5);
    SetRowCount(5);
}

void TStringGrid::SetColCount(int count) {
    count = std::max(count, 1);
    colWidths_.resize(static_cast<std::size_t>(count), kDefaultColWidth);
    for (auto& row : cells_) row.resize(colWidths_.size());
    viewport()->update();
}

void TStringGrid::SetRowCount(int count) {
    count = std::max(count, kFixedRows + 1);
    rowCount_ = count;
    cells_.resize(static_cast<std::size_t>(count), std::vector<QString>(colWidths_.size()));
    if (row_ >= rowCount_) row_ = rowCount_ - 1;
    UpdateScrollBar();
    viewport()->update();
}

void TStringGrid::SetDefaultRowHeight(int height) {
    rowHeight_ = std::max(height, 1);
    UpdateScrollBar();
    viewport()->update();
}

int TStringGrid::ColWidths(int col) const {
    if (col < 0 || col >= ColCount()) return 0;
    return colWidths_[static_cast<std::size_t>(col)];
}

void TStringGrid::SetColWidths(int col, int width) {
    if (col < 0 || col >= ColCount()) return;
    colWidths_[static_cast<std::size_t>(col)] = std::max(width, kMinColWidth);
    viewport()->update();
}

QString TStringGrid::Cells(int col, int row) const {
    if (col < 0 || col >= ColCount() || row < 0 || row >= rowCount_) return {};
    return cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
}

void TStringGrid::SetCells(int col, int row, const QString& text) {
    if (col < 0 || col >= ColCount() || row < 0 || row >= rowCount_) return;
    cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)] = text;
    viewport()->update();
}

void TStringGrid::SetRow(int row) {
    row = std::clamp(row, kFixedRows, rowCount_ - 1);
    row_ = row;
    ScrollToRow(row);
    viewport()->update();
}

int TStringGrid::VisibleRowCount() const {
    const int pitch = rowHeight_ + kGridLineWidth;
    return std::max(1, (viewport()->height() - pitch) / pitch);
}

int TStringGrid::MaxTopRow() const {
    return std::max(kFixedRows, rowCount_ - VisibleRowCount());
}

void TStringGrid::SetTopRow(int row) {
    row = std::clamp(row, kFixedRows, MaxTopRow());
    // The scroll bar's value is TopRow - 1; scrollContentsBy takes it over.
    verticalScrollBar()->setValue(row - kFixedRows);
}

void TStringGrid::UpdateScrollBar() {
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(VisibleRowCount());
    bar->setRange(0, MaxTopRow() - kFixedRows);
    topRow_ = kFixedRows + bar->value();
}

void TStringGrid::ScrollToRow(int row) {
    if (row < topRow_) {
        SetTopRow(row);
    } else if (row >= topRow_ + VisibleRowCount()) {
        SetTopRow(row - VisibleRowCount() + 1);
    }
}

void TStringGrid::scrollContentsBy(int, int) {
    Guarded([&] {
        const int top = kFixedRows + verticalScrollBar()->value();
        if (top == topRow_) return;
        topRow_ = top;
        viewport()->update();
        emit Scrolled(topRow_);
    });
}

void TStringGrid::resizeEvent(QResizeEvent* event) {
    Guarded([&] {
        QAbstractScrollArea::resizeEvent(event);
        UpdateScrollBar();
    });
}

int TStringGrid::ColLeft(int col) const {
    int x = 0;
    for (int c = 0; c < col && c < ColCount(); ++c) x += ColWidths(c) + kGridLineWidth;
    return x;
}

int TStringGrid::RowTop(int row) const {
    const int pitch = rowHeight_ + kGridLineWidth;
    if (row < kFixedRows) return row * pitch;
    if (row < topRow_) return -1;
    return (kFixedRows + row - topRow_) * pitch;
}

QRect TStringGrid::CellRect(int col, int row) const {
    if (col < 0 || col >= ColCount() || row < 0 || row >= rowCount_) return {};
    const int top = RowTop(row);
    if (top < 0 || top >= viewport()->height()) return {};
    const int left = ColLeft(col);
    if (left >= viewport()->width()) return {};
    return QRect(left, top, ColWidths(col), rowHeight_);
}

std::pair<int, int> TStringGrid::MouseToCell(const QPoint& point) const {
    constexpr std::pair<int, int> none{-1, -1};
    if (!viewport()->rect().contains(point)) return none;
    int col = -1;
    for (int c = 0, x = 0; c < ColCount(); ++c) {
        x += ColWidths(c) + kGridLineWidth;
        if (point.x() < x) {
            col = c;
            break;
        }
    }
    const int pitch = rowHeight_ + kGridLineWidth;
    const int slot = point.y() / pitch;  // 0 .. header rows - 1, then shown data rows
    const int row = slot < kFixedRows ? slot : topRow_ + slot - kFixedRows;
    if (col < 0 || row >= rowCount_) return none;
    return {col, row};
}

void TStringGrid::Repaint() { viewport()->repaint(); }

int TStringGrid::SizingBorderAt(const QPoint& point) const {
    if (point.y() < 0 || point.y() >= kFixedRows * (rowHeight_ + kGridLineWidth)) return -1;
    // The rightmost border within reach wins, so a column dragged down to a
    // very small width can still be widened again.
    int found = -1;
    for (int c = 0, x = 0; c < ColCount(); ++c) {
        x += ColWidths(c);  // the grid line right of column c starts here
        if (std::abs(point.x() - x) <= kSizingZone) found = c;
        x += kGridLineWidth;
    }
    return found;
}

void TStringGrid::PressAt(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        const int border = SizingBorderAt(pos);
        if (border >= 0) {
            sizingCol_ = border;
            sizingOrigin_ = ColLeft(border);
        } else {
            const auto [col, row] = MouseToCell(pos);
            if (col >= 0 && row >= kFixedRows && row != row_) SetRow(row);
        }
    }
    if (OnMouseDown) OnMouseDown(event->button(), event->modifiers(), pos.x(), pos.y());
}

// Each event handler runs guarded: an error is shown by the general error
// report here and never unwinds through Qt's own frames.

void TStringGrid::mousePressEvent(QMouseEvent* event) {
    Guarded([&] { PressAt(event); });
}

// Qt reports the second press of a double click as a double-click event;
// it is a press like any other here.
void TStringGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    Guarded([&] { PressAt(event); });
}

void TStringGrid::mouseMoveEvent(QMouseEvent* event) {
    Guarded([&] {
        const QPoint pos = event->position().toPoint();
        if (sizingCol_ >= 0) {
            SetColWidths(sizingCol_, pos.x() - sizingOrigin_);
            Repaint();
        } else if (SizingBorderAt(pos) >= 0) {
            viewport()->setCursor(Qt::SplitHCursor);
        } else {
            viewport()->unsetCursor();
        }
        if (OnMouseMove) OnMouseMove(event->modifiers(), pos.x(), pos.y());
    });
}

void TStringGrid::mouseReleaseEvent(QMouseEvent* event) {
    Guarded([&] {
        if (event->button() == Qt::LeftButton) sizingCol_ = -1;
    });
}

void TStringGrid::keyPressEvent(QKeyEvent* event) {
    Guarded([&] {
        int target = row_;
        switch (event->key()) {
            case Qt::Key_Up: target = row_ - 1; break;
            case Qt::Key_Down: target = row_ + 1; break;
            case Qt::Key_PageUp: target = row_ - VisibleRowCount(); break;
            case Qt::Key_PageDown: target = row_ + VisibleRowCount(); break;
            case Qt::Key_Home: target = kFixedRows; break;
            case Qt::Key_End: target = rowCount_ - 1; break;
            default: QAbstractScrollArea::keyPressEvent(event); return;
        }
        SetRow(target);
    });
}

void TStringGrid::focusInEvent(QFocusEvent* event) {
    Guarded([&] {
        QAbstractScrollArea::focusInEvent(event);
        viewport()->update();
    });
}

void TStringGrid::focusOutEvent(QFocusEvent* event) {
    Guarded([&] {
        QAbstractScrollArea::focusOutEvent(event);
        viewport()->update();
    });
}

void TStringGrid::paintEvent(QPaintEvent*) {
    Guarded([this] { PaintCells(); });
}

void TStringGrid::PaintCells() {
    QPainter painter(viewport());
    const QRect area = viewport()->rect();
    painter.fillRect(area, Qt::white);  // where no cell is

    const QColor headerLine = palette().color(QPalette::Dark);
    const QColor dataLine = palette().color(QPalette::Button);
    const int pitch = rowHeight_ + kGridLineWidth;
    int lastRight = 0;
    for (int c = 0; c < ColCount(); ++c) lastRight += ColWidths(c) + kGridLineWidth;

    auto paintRow = [&](int row, int top) {
        const bool selected = row >= kFixedRows && row == row_;
        const QColor& line = row < kFixedRows ? headerLine : dataLine;
        for (int c = 0, left = 0; c < ColCount() && left < area.width(); ++c) {
            const QRect rect(left, top, ColWidths(c), rowHeight_);
            painter.save();
            painter.setClipRect(rect);
            painter.setFont(font());
            if (OnDrawCell) {
                OnDrawCell(painter, c, row, rect, selected);
            } else {
                DefaultDrawCell(painter, c, row, rect, selected);
            }
            painter.restore();
            painter.fillRect(QRect(rect.right() + 1, top, kGridLineWidth, pitch), line);
            painter.fillRect(QRect(left, rect.bottom() + 1, rect.width() + kGridLineWidth,
                                   kGridLineWidth), line);
            left += rect.width() + kGridLineWidth;
        }
    };

    for (int row = 0; row < kFixedRows; ++row) paintRow(row, row * pitch);
    for (int row = topRow_, top = kFixedRows * pitch; row < rowCount_ && top < area.height();
         ++row, top += pitch) {
        paintRow(row, top);
    }

    const int currentTop = RowTop(row_);
    if (hasFocus() && currentTop >= kFixedRows * pitch && currentTop < area.height()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = QRect(0, currentTop, std::min(lastRight, area.width()) - kGridLineWidth,
                            rowHeight_);
        option.backgroundColor = palette().color(QPalette::Highlight);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void TStringGrid::DefaultDrawCell(QPainter& painter, int col, int row, const QRect& rect,
                                  bool selected) {
    const QPalette& pal = palette();
    QColor background = pal.color(QPalette::Base);
    QColor text = pal.color(QPalette::Text);
    if (row < kFixedRows) {
        background = pal.color(QPalette::Button);
        text = pal.color(QPalette::WindowText);
    } else if (selected) {
        background = pal.color(QPalette::Highlight);
        text = pal.color(QPalette::HighlightedText);
    }
    painter.fillRect(rect, background);
    painter.setPen(text);
    const int flags = Qt::AlignVCenter | Qt::TextSingleLine |
                      (row < kFixedRows ? Qt::AlignHCenter : Qt::AlignLeft);
    painter.drawText(rect.adjusted(2, 0, -2, 0), flags, Cells(col, row));
}
