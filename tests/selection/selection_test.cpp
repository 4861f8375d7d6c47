// The filter rule, the tick list and the selection built from it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "selection/selection.h"
#include "support/temp_drive.h"

namespace {

using tw::String;
using twtest::U8;

class FilterTest : public twtest::TempDrive {
protected:
    void SetUp() override {
        TempDrive::SetUp();
        Build(uR"(
            开区版本\MirServer\
            Servers\S1\Config.ini=[Config]|GameName=ABC1.76
            Servers\S2\Config.ini=[Config]|GameName=|[GameConf]|GameName=abc
            Servers\NoName\Config.ini=[Config]|GameName=
            Servers\NoIni\
            a\b\S9\Config.ini=[Config]|GameName=xyz
        )");
        // 热血传奇 Abc in GBK, as a Chinese Windows system saves it.
        WriteFile(uR"(开区版本\MirServer\Config.ini)",
                  "[Config]\r\nGameName=\xC8\xC8\xD1\xAA\xB4\xAB\xC6\xE6 Abc\r\n");
    }
};

TEST_F(FilterTest, VersionAndSubfolderConditions) {
    struct Case {
        const char16_t* dir;
        const char16_t* version;
        const char16_t* subDir;
        bool matches;
    };
    const Case cases[] = {
        // Both boxes empty or blank: every directory.
        {uR"(Servers\NoIni)", u"", u"", true},
        {uR"(Servers\S1)", u"  \t", u" ", true},
        // The version text untrimmed, letter case counting, read from Config.ini.
        {uR"(Servers\S1)", u"ABC", u"", true},
        {uR"(Servers\S1)", u"abc", u"", false},
        {uR"(Servers\S1)", u" ABC", u"", false},
        {uR"(Servers\S1)", u"1.76 ", u"", false},
        {uR"(Servers\S2)", u"abc", u"", true},  // GameConf when Config has none
        {uR"(开区版本\MirServer)", u"传奇 A", u"", true},
        // No game name, or no Config.ini: never with a version text set.
        {uR"(Servers\NoName)", u"A", u"", false},
        {uR"(Servers\NoIni)", u"A", u"Servers", false},
        // The subfolder must name a folder above the directory.
        {uR"(开区版本\MirServer)", u"", u"开区版本", true},
        {uR"(开区版本\MirServer)", u"", u"MirServer", false},
        {uR"(Servers\S1)", u"", u"  Servers\\ ", true},  // trimmed, one trailing '\' removed
        {uR"(Servers\S1)", u"", u"Servers\\\\", false},  // only one of two removed
        {uR"(Servers\S1)", u"", u"\\Servers", false},    // leading '\' gives '\\Servers\'
        {uR"(Servers\S1)", u"", u"servers", false},      // letter case counts
        {uR"(a\b\S9)", u"", u"a\\b", true},
        {uR"(a\b\S9)", u"", u"b", true},
        // A failing version condition decides before the subfolder is looked at.
        {uR"(Servers\S1)", u"zzz", u"Servers", false},
        {uR"(Servers\S1)", u"ABC", u"Servers", true},
        {uR"(Servers\S1)", u"ABC", u"Other", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(U8(c.dir) + " / '" + U8(c.version) + "' / '" + U8(c.subDir) + "'");
        EXPECT_EQ(tw::MatchesFilters(Path(c.dir), c.version, c.subDir), c.matches);
    }
}

TEST_F(FilterTest, GameNameIsReadAfreshAtEachEvaluation) {
    const String dir = Path(uR"(Servers\S1)");
    EXPECT_TRUE(tw::MatchesFilters(dir, u"ABC", u""));
    WriteFile(uR"(Servers\S1\Config.ini)", "[Config]\r\nGameName=Other\r\n");
    EXPECT_FALSE(tw::MatchesFilters(dir, u"ABC", u""));
}

TEST_F(FilterTest, TickByFiltersAppendsOneTickPerEntry) {
    const std::vector<String> paths = {Path(uR"(Servers\S1)"), Path(uR"(Servers\S2)"),
                                       Path(uR"(Servers\S1)"), Path(uR"(a\b\S9)")};
    std::vector<bool> checks = {true};  // appended to, not replaced
    std::vector<String> selected = {u"x"};
    tw::TickByFilters(paths, u"ABC", u"", checks, selected);
    EXPECT_EQ(checks, (std::vector<bool>{true, true, false, true, false}));
    // Duplicates stay, in list order.
    EXPECT_EQ(selected, (std::vector<String>{u"x", paths[0], paths[2]}));
}

TEST(TickTest, IndexesWithoutATickEntry) {
    std::vector<bool> checks = {false, true, false};
    struct Case {
        int index;
        bool reads;
        bool settable;
    };
    const Case cases[] = {
        {-1, true, false}, {0, false, true}, {1, true, true}, {2, false, true}, {3, true, false},
        {1000, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(tw::GetCheckState(checks, c.index), c.reads);
        std::vector<bool> copy = checks;
        EXPECT_EQ(tw::SetCheckState(copy, c.index, true), c.settable);
        if (c.settable) {
            EXPECT_TRUE(copy[static_cast<std::size_t>(c.index)]);
        } else {
            EXPECT_EQ(copy, checks);
        }
    }
}

TEST(TickTest, SelectionFollowsTheTicksAndSkipsEntriesWithoutOne) {
    const std::vector<String> paths = {u"D:\\A", u"D:\\B", u"D:\\A", u"D:\\C"};
    std::vector<String> selected = {u"stale"};
    // The tick list is shorter than the result list: D:\C has no tick entry.
    tw::RebuildSelectedPaths(paths, {true, false, true}, selected);
    EXPECT_EQ(selected, (std::vector<String>{u"D:\\A", u"D:\\A"}));
    tw::RebuildSelectedPaths(paths, {}, selected);
    EXPECT_TRUE(selected.empty());
}

TEST(TickTest, SelectionMessage) {
    EXPECT_EQ(U8(tw::SelectionMessage(0, 0)), "已选中 0 个目录，包含 0 个文件");
    EXPECT_EQ(U8(tw::SelectionMessage(12, 2000)), "已选中 12 个目录，包含 2000 个文件");
}

}  // namespace
