// TForm1: the result grid: laying it out, clearing and filling it, painting
// its cells and the two mouse handlers.
#include <QFontMetrics>
#include <QPainter>
#include <QPen>

#include "app/string_grid.h"
#include "app/unit1.h"
#include "discovery/scan.h"
#include "selection/grid_cell.h"

namespace {

const int kGridColWidths[] = {25, 40, 195, 150, 80, 80};

QColor RoleColor(const QPalette& palette, tw::TColorRole role) {
    switch (role) {
        case tw::TColorRole::WindowText: return palette.color(QPalette::WindowText);
        case tw::TColorRole::Window: return palette.color(QPalette::Base);
        case tw::TColorRole::Highlight: return palette.color(QPalette::Highlight);
        case tw::TColorRole::HighlightText: return palette.color(QPalette::HighlightedText);
        case tw::TColorRole::ButtonFace: return palette.color(QPalette::Button);
        case tw::TColorRole::ButtonShadow: return palette.color(QPalette::Dark);
        case tw::TColorRole::ButtonText: return palette.color(QPalette::ButtonText);
        case tw::TColorRole::Red: return QColor(255, 0, 0);
    }
    return palette.color(QPalette::WindowText);
}

}  // namespace

void TForm1::InitGrid() {
    static const char16_t* const headers[] = {u"", u"序号", u"版本路径", u"版本名字", u"是否相同",
                                              u"修改时间"};
    for (int col = 0; col < 6; ++col) {
        sgFiles->SetCells(col, 0, ToQString(headers[col]));
        sgFiles->SetColWidths(col, kGridColWidths[col]);
    }
    ClearResults();
}

void TForm1::ClearResults() {
    // The row count stays: the grid keeps its (now blank) rows.
    for (int row = 1; row < sgFiles->RowCount(); ++row) {
        for (int col = 0; col < sgFiles->ColCount(); ++col) sgFiles->SetCells(col, row, QString());
    }
    FSourcePaths.clear();
    FSelectedPaths.clear();
    FCheckStates.clear();
    FCompareInfos.clear();
    sgFiles->Repaint();
}

void TForm1::FillGrid() {
    const int count = static_cast<int>(FSourcePaths.size());
    sgFiles->SetRowCount(count + 1);
    for (int row = 1; row <= count; ++row) {
        for (int col = 0; col < sgFiles->ColCount(); ++col) sgFiles->SetCells(col, row, QString());
    }
    for (int i = 0; i < count; ++i) {
        sgFiles->SetCells(1, i + 1, QString::number(i + 1));
        sgFiles->SetCells(2, i + 1, ToQString(FSourcePaths[static_cast<std::size_t>(i)]));
    }
    sgFiles->Repaint();
    SetStatus(tw::CountMessage(FSourcePaths.size()));
}

void TForm1::RefreshGrid() {
    if (!FSourcePaths.empty()) FillGrid();
}

void TForm1::sgFilesDrawCell(QPainter& canvas, int col, int row, const QRect& rect,
                             bool selected) {
    const QFontMetrics metrics(canvas.font());
    const tw::TTextWidth width = [&metrics](tw::StringView text) {
        return metrics.horizontalAdvance(ToQString(text));
    };
    const tw::TGridState grid{FSourcePaths, FCompareInfos, FCheckStates, FHoverRow, FHoverCol};
    const tw::TCellLook look = tw::DecideCell(grid, col, row, selected,
                                              FromQString(sgFiles->Cells(col, 0)), rect.width(),
                                              width);
    const QPalette& palette = sgFiles->palette();
    const auto color = [&palette](tw::TColorRole role) { return RoleColor(palette, role); };

    const int L = rect.left();
    const int T = rect.top();
    const int W = rect.width();
    const int H = rect.height();
    canvas.fillRect(rect, color(look.Background));
    // The cell's last pixel column and last pixel row take the line colour.
    const QColor shadow = color(tw::TColorRole::ButtonShadow);
    canvas.fillRect(QRect(L + W - 1, T, 1, H), shadow);
    canvas.fillRect(QRect(L, T + H - 1, W, 1), shadow);

    if (look.TickBox) {
        const int bx = L + (W - tw::kTickBoxSize) / 2;
        const int by = T + (H - tw::kTickBoxSize) / 2;
        const QColor ink = color(tw::TColorRole::ButtonText);
        canvas.fillRect(QRect(bx, by, tw::kTickBoxSize, tw::kTickBoxSize),
                        color(tw::TColorRole::Window));
        canvas.fillRect(QRect(bx, by, tw::kTickBoxSize, 1), ink);
        canvas.fillRect(QRect(bx, by + tw::kTickBoxSize - 1, tw::kTickBoxSize, 1), ink);
        canvas.fillRect(QRect(bx, by, 1, tw::kTickBoxSize), ink);
        canvas.fillRect(QRect(bx + tw::kTickBoxSize - 1, by, 1, tw::kTickBoxSize), ink);
        if (look.Ticked) {
            canvas.save();
            canvas.setRenderHint(QPainter::Antialiasing, false);
            // Round ends and a round join, as a plain 2-px pen has on Windows.
            canvas.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            const QPoint tick[] = {{bx + 3, by + 7}, {bx + 6, by + 10}, {bx + 11, by + 3}};
            canvas.drawPolyline(tick, 3);
            canvas.restore();
        }
    }

    if (look.Text.empty()) return;
    const QString text = ToQString(look.Text);
    // Measured on "汉" as laid out, so that a fallback font that supplies the
    // Chinese glyphs counts with its own height.
    const int textHeight = metrics.size(Qt::TextSingleLine, QStringLiteral("汉")).height();
    const int textY = T + (H - textHeight) / 2;
    const int x = look.Placement == tw::TPlacement::Indented
                      ? L + tw::kGridTextIndent
                      : L + (W - metrics.horizontalAdvance(text)) / 2;
    canvas.setPen(color(look.TextColor));
    // The line's top at textY; what runs past the cell is cut at its edge.
    canvas.drawText(QRect(x, textY, W, H),
                    Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, text);
}

void TForm1::sgFilesMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
    // Any button toggles, and each press of a double click counts.
    const auto [col, row] = sgFiles->MouseToCell(QPoint(x, y));
    if (col == 0 && row >= 1 && static_cast<std::size_t>(row - 1) < FSourcePaths.size()) {
        SetCheckState(row - 1, !GetCheckState(row - 1));
    }
}

void TForm1::sgFilesMouseMove(Qt::KeyboardModifiers, int x, int y) {
    const auto [col, row] = sgFiles->MouseToCell(QPoint(x, y));
    if (row == FHoverRow && col == FHoverCol) return;
    FHoverRow = row;
    FHoverCol = col;
    sgFiles->Repaint();
}
