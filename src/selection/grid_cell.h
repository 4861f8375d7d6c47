// What one cell of the result grid shows: its colours (as desktop colour
// roles), its text and where the text goes, and whether it holds the tick
// box. Decided here from the form's lists; the window only paints it.
#pragma once

#include <functional>
#include <vector>

#include "compare/compare_info.h"
#include "platform/platform.h"

namespace tw {

enum class TColorRole {
    WindowText,
    Window,  // the background of text areas
    Highlight,
    HighlightText,
    ButtonFace,
    ButtonShadow,
    ButtonText,
    Red,  // pure red, 255/0/0: a missing or differing file
};

enum class TPlacement {
    Centred,  // x = left + (width - text width) / 2
    Indented,  // x = left + 5
};

inline constexpr int kGridTextIndent = 5;
inline constexpr int kTickBoxSize = 14;

// The grid's state that one cell reads.
struct TGridState {
    const std::vector<String>& SourcePaths;
    const std::vector<TFileCompareInfo>& CompareInfos;
    const std::vector<bool>& CheckStates;
    int HoverRow;
    int HoverCol;
};

struct TCellLook {
    TColorRole Background = TColorRole::Window;
    TColorRole TextColor = TColorRole::WindowText;
    String Text;  // empty: nothing drawn
    TPlacement Placement = TPlacement::Centred;
    bool TickBox = false;  // the 14 x 14 box, drawn in ButtonText on Window
    bool Ticked = false;   // the tick inside it
};

// Width of a text in the grid's font, in pixels.
using TTextWidth = std::function<int(StringView)>;

// The path as column 2 draws it: whole when it fits in limit pixels,
// otherwise shortened one code unit at a time (never below 5) until it fits
// together with "...", which is then appended.
String ShortenPath(StringView path, int limit, const TTextWidth& width);

// One cell. headerText is the text stored in row 0 of the column; cellWidth
// the cell's width between the grid lines.
TCellLook DecideCell(const TGridState& grid, int col, int row, bool selected,
                     StringView headerText, int cellWidth, const TTextWidth& width);

}  // namespace tw
