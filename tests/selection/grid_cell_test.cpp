// What each cell of the result grid shows, decided without a window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "selection/grid_cell.h"
#include "support/temp_drive.h"

namespace {

using tw::String;
using tw::TColorRole;
using tw::TPlacement;
using twtest::U8;

// A fixed 6 px per code unit, so widths are easy to reason about.
int Width(tw::StringView text) { return 6 * static_cast<int>(text.size()); }

TEST(ShortenPathTest, CutsOneCodeUnitAtATimeAndKeepsFive) {
    struct Case {
        const char16_t* path;
        int limit;
        const char16_t* shown;
    };
    const Case cases[] = {
        {u"D:\\Servers\\S1", 78, u"D:\\Servers\\S1"},     // 13 units, 78 px: fits exactly
        {u"D:\\Servers\\S12", 78, u"D:\\Servers..."},     // 14 units: 10 kept + "..." = 78 px
        {u"D:\\Servers\\S12", 77, u"D:\\Server..."},
        {u"D:\\Servers\\S1", 0, u"D:\\Se..."},            // never fewer than five
        {u"D:\\S1", 20, u"D:\\S1..."},                    // five or fewer: "..." still appended
        {u"", 0, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(U8(c.path) + " @" + std::to_string(c.limit));
        EXPECT_EQ(U8(tw::ShortenPath(c.path, c.limit, Width)), U8(c.shown));
    }
}

TEST(ShortenPathTest, RemovesCodeUnitsNotCharacters) {
    // U+20000 is two code units; the cut may fall between them.
    const String path = u"D:\\ab\U00020000cdef";
    const String shown = tw::ShortenPath(path, 6 * 9, Width);
    EXPECT_EQ(shown, String(u"D:\\ab\xD840..."));
}

class CellTest : public ::testing::Test {
protected:
    tw::TFileCompareInfo Info(bool exists, bool same, const char16_t* size, const char16_t* time,
                              const char16_t* game = u"传奇") {
        tw::TFileCompareInfo info;
        info.FileExists = exists;
        info.IsSameMD5 = same;
        info.SizeCompare = size;
        info.TimeCompare = time;
        info.GameName = game;
        return info;
    }

    tw::TCellLook Cell(int col, int row, bool selected = false, int width = 80) {
        const tw::TGridState grid{paths, infos, checks, hoverRow, hoverCol};
        return tw::DecideCell(grid, col, row, selected, u"头", width, Width);
    }

    std::vector<String> paths = {u"D:\\S1", u"D:\\S2", u"D:\\S3", u"D:\\S4"};
    std::vector<tw::TFileCompareInfo> infos = {
        Info(false, false, u"", u""),
        Info(true, true, u"", u"相同"),
        Info(true, false, u"相同", u"较新", u""),
        Info(true, false, u"", u""),  // no digest on either side: nothing to say
    };
    std::vector<bool> checks = {true, false, true};  // row 4 has no tick entry
    int hoverRow = -1;
    int hoverCol = -1;
};

TEST_F(CellTest, ComparisonColumns) {
    struct Case {
        int row;
        int col;
        bool selected;
        const char16_t* text;
        TColorRole color;
    };
    const Case cases[] = {
        {1, 4, false, u"不存在", TColorRole::Red},
        {1, 5, false, u"不存在", TColorRole::Red},
        {2, 4, false, u"相同", TColorRole::WindowText},
        {2, 5, false, u"相同", TColorRole::WindowText},
        {2, 4, true, u"相同", TColorRole::HighlightText},
        // A differing file: the comparison text in red, also when it reads "相同".
        {3, 4, false, u"相同", TColorRole::Red},
        {3, 5, false, u"较新", TColorRole::Red},
        {3, 5, true, u"较新", TColorRole::Red},  // red stays red in the selected row
        {1, 4, true, u"不存在", TColorRole::Red},
        {4, 4, false, u"", TColorRole::Red},     // an empty text paints nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.row) + "," + std::to_string(c.col));
        const tw::TCellLook look = Cell(c.col, c.row, c.selected);
        EXPECT_EQ(U8(look.Text), U8(c.text));
        EXPECT_EQ(look.TextColor, c.color);
        EXPECT_EQ(look.Placement, TPlacement::Centred);
        EXPECT_FALSE(look.TickBox);
    }
}

TEST_F(CellTest, TextColumns) {
    EXPECT_EQ(U8(Cell(1, 3).Text), "3");  // the row number
    EXPECT_EQ(Cell(1, 3).Placement, TPlacement::Centred);
    EXPECT_EQ(U8(Cell(2, 2).Text), "D:\\S2");
    EXPECT_EQ(Cell(2, 2).Placement, TPlacement::Indented);
    EXPECT_EQ(U8(Cell(3, 1).Text), "传奇");
    EXPECT_EQ(U8(Cell(3, 3).Text), "-");  // no game name
    EXPECT_EQ(Cell(3, 3).Placement, TPlacement::Indented);
    // The path column shortens against the cell width less 10 px.
    paths[0] = u"D:\\Servers\\S1";  // 13 units, 78 px
    EXPECT_EQ(U8(Cell(2, 1, false, 88).Text), "D:\\Servers\\S1");
    EXPECT_EQ(U8(Cell(2, 1, false, 87).Text), "D:\\Server...");
}

TEST_F(CellTest, TickBox) {
    EXPECT_TRUE(Cell(0, 1).TickBox);
    EXPECT_TRUE(Cell(0, 1).Ticked);
    EXPECT_FALSE(Cell(0, 2).Ticked);
    EXPECT_TRUE(Cell(0, 4).Ticked);  // no tick entry reads as ticked
    EXPECT_TRUE(Cell(0, 2, true).TickBox);
    EXPECT_TRUE(Cell(0, 1).Text.empty());
}

TEST_F(CellTest, Backgrounds) {
    hoverRow = 2;
    hoverCol = 3;
    struct Case {
        int col;
        int row;
        bool selected;
        TColorRole background;
        TColorRole text;
    };
    const Case cases[] = {
        {3, 2, false, TColorRole::ButtonFace, TColorRole::WindowText},   // the hover cell
        {2, 2, false, TColorRole::Window, TColorRole::WindowText},       // its neighbour
        {3, 2, true, TColorRole::Highlight, TColorRole::HighlightText},  // selected wins
        {1, 1, true, TColorRole::Highlight, TColorRole::HighlightText},
        {1, 0, false, TColorRole::ButtonFace, TColorRole::WindowText},   // header
        {3, 0, true, TColorRole::ButtonFace, TColorRole::WindowText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.row) + "," + std::to_string(c.col));
        const tw::TCellLook look = Cell(c.col, c.row, c.selected);
        EXPECT_EQ(look.Background, c.background);
        EXPECT_EQ(look.TextColor, c.text);
    }
    // The header shows its stored text, centred; the hover never colours it.
    hoverRow = 0;
    hoverCol = 1;
    EXPECT_EQ(Cell(1, 0).Background, TColorRole::ButtonFace);
    EXPECT_EQ(U8(Cell(1, 0).Text), "头");
    EXPECT_EQ(Cell(1, 0).Placement, TPlacement::Centred);
}

TEST_F(CellTest, RowsWithoutAnEntryPaintOnlyTheirBackground) {
    infos.resize(2);  // rows 3 and 4 have a path but no comparison record
    for (int col = 0; col < 6; ++col) {
        for (int row : {3, 4, 5, 11}) {
            SCOPED_TRACE(std::to_string(row) + "," + std::to_string(col));
            const tw::TCellLook look = Cell(col, row, row == 3);
            EXPECT_TRUE(look.Text.empty());
            EXPECT_FALSE(look.TickBox);
            EXPECT_EQ(look.Background, row == 3 ? TColorRole::Highlight : TColorRole::Window);
        }
    }
}

}  // namespace
