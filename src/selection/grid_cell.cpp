#include "selection/grid_cell.h"

#include <string>

#include "selection/selection.h"

namespace tw {

String ShortenPath(StringView path, int limit, const TTextWidth& width) {
    String text(path);
    if (width(text) <= limit) return text;
    // One code unit per step, measured again each time, as wide glyphs and
    // narrow ones mix in a path.
    while (width(text + u"...") > limit && text.size() > 5) text.pop_back();
    return text + u"...";
}

namespace {

String Decimal(int n) {
    const std::string digits = std::to_string(n);
    return String(digits.begin(), digits.end());
}

// Columns 4 and 5: "不存在" in red for a missing counterpart, "相同" in the
// row's colour for an identical one, otherwise the comparison text in red
// (also when that text itself reads "相同").
void Comparison(const TFileCompareInfo& info, const String& differing, TColorRole rowText,
                TCellLook& look) {
    if (!info.FileExists) {
        look.Text = u"不存在";
        look.TextColor = TColorRole::Red;
    } else if (info.IsSameMD5) {
        look.Text = u"相同";
        look.TextColor = rowText;
    } else {
        look.Text = differing;
        look.TextColor = TColorRole::Red;
    }
}

}  // namespace

TCellLook DecideCell(const TGridState& grid, int col, int row, bool selected,
                     StringView headerText, int cellWidth, const TTextWidth& width) {
    TCellLook look;
    if (row >= 1 && selected)
        look.Background = TColorRole::Highlight;
    else if (row == 0)
        look.Background = TColorRole::ButtonFace;
    else if (row == grid.HoverRow && col == grid.HoverCol)
        look.Background = TColorRole::ButtonFace;
    else
        look.Background = TColorRole::Window;

    if (row == 0) {
        look.TextColor = TColorRole::WindowText;
        look.Text = String(headerText);
        look.Placement = TPlacement::Centred;
        return look;
    }

    const TColorRole rowText = selected ? TColorRole::HighlightText : TColorRole::WindowText;
    look.TextColor = rowText;
    if (row < 1) return look;
    const auto i = static_cast<std::size_t>(row - 1);
    if (i >= grid.SourcePaths.size() || i >= grid.CompareInfos.size()) return look;
    const TFileCompareInfo& info = grid.CompareInfos[i];

    switch (col) {
        case 0:
            look.TickBox = true;
            look.Ticked = GetCheckState(grid.CheckStates, row - 1);
            break;
        case 1:
            look.Text = Decimal(row);
            break;
        case 2:
            look.Text = ShortenPath(grid.SourcePaths[i], cellWidth - 2 * kGridTextIndent, width);
            look.Placement = TPlacement::Indented;
            break;
        case 3:
            look.Text = info.GameName.empty() ? String(u"-") : info.GameName;
            look.Placement = TPlacement::Indented;
            break;
        case 4:
            Comparison(info, info.SizeCompare, rowText, look);
            break;
        case 5:
            Comparison(info, info.TimeCompare, rowText, look);
            break;
        default:
            break;
    }
    return look;
}

}  // namespace tw
