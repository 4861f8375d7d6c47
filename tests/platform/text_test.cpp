// Path-text helpers, UTF-8 conversion and the MS-DOS time conversion: pure
// functions, the same on every system.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/temp_drive.h"

namespace {

using tw::String;
using twtest::U8;

struct Case {
    String input;
    String expected;
};

TEST(TextHelpers, TrimBlanksDropsOnlyCodeUnitsUpTo32) {
    const Case cases[] = {
        {u"", u""},
        {u" \t \r\n", u""},
        {u"  Mir200  ", u"Mir200"},
        {u"\x01\x1F a b \x20", u"a b"},
        // Ideographic and no-break spaces are not blanks.
        {u"\u3000版本\u3000", u"\u3000版本\u3000"},
        {u"\u00A0x ", u"\u00A0x"},
        {u"\x7F", u"\x7F"},
    };
    for (const auto& c : cases) EXPECT_EQ(tw::TrimBlanks(c.input), c.expected) << U8(c.input);
}

TEST(TextHelpers, TrailingBackslashLooksAtTheLastCharacterOnly) {
    const Case with[] = {
        {u"", u"\\"}, {u"D:", u"D:\\"}, {u"D:\\Servers\\", u"D:\\Servers\\"}, {u"a\\\\", u"a\\\\"}, {u"a/", u"a/\\"},
    };
    for (const auto& c : with) EXPECT_EQ(tw::WithTrailingBackslash(c.input), c.expected) << U8(c.input);

    const Case without[] = {
        {u"", u""}, {u"D:\\", u"D:"}, {u"a\\\\", u"a\\"}, {u"D:\\S1", u"D:\\S1"}, {u"\\", u""}, {u"a/", u"a/"},
    };
    for (const auto& c : without) EXPECT_EQ(tw::WithoutTrailingBackslash(c.input), c.expected) << U8(c.input);
}

TEST(TextHelpers, DrivePart) {
    const Case cases[] = {
        {u"", u""},
        {u"D", u""},
        {u"D:", u"D:"},
        {u"D:\\Servers\\S1\\Mir200\\a.txt", u"D:"},
        {u"1:x", u"1:"},  // whatever the first character is
        {u"Servers\\S1", u""},
        {u"\\Servers", u""},
        {u"/Servers", u""},
        {u"//nas/game", u""},  // '/' is an ordinary character
        {u"\\\\nas\\game\\S1", u"\\\\nas\\game"},
        {u"\\\\nas\\game", u"\\\\nas\\game"},
        {u"\\\\nas", u"\\\\nas"},
        {u"\\\\nas\\", u"\\\\nas\\"},
        {u"\\\\", u"\\\\"},
        {u"\\\\?\\D:\\x", u"\\\\?\\D:"},
        {u"\\\\.\\D:\\x", u"\\\\.\\D:"},
        {u"\\\\?\\UNC\\srv\\share\\x", u"\\\\?\\UNC\\srv\\share"},
        {u"\\\\?\\UNC\\srv", u"\\\\?\\UNC\\srv"},
        {u"\\\\?\\UNCx\\a\\b", u"\\\\?\\UNCx"},
    };
    for (const auto& c : cases) EXPECT_EQ(tw::DrivePart(c.input), c.expected) << U8(c.input);
}

TEST(TextHelpers, FolderAndNameSplitAtTheLastBackslashOrColon) {
    struct Split {
        String path;
        String folder;
        String name;
    };
    const Split cases[] = {
        {u"D:\\S1\\Mir200\\Envir\\a.txt", u"D:\\S1\\Mir200\\Envir\\", u"a.txt"},
        {u"D:b.txt", u"D:", u"b.txt"},
        {u"b.txt", u"", u"b.txt"},
        {u"D:\\a\\", u"D:\\a\\", u""},
        {u"D:\\a/b", u"D:\\", u"a/b"},
        {u"", u"", u""},
        {u"\\\\nas\\game", u"\\\\nas\\", u"game"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tw::FolderPart(c.path), c.folder) << U8(c.path);
        EXPECT_EQ(tw::NamePart(c.path), c.name) << U8(c.path);
    }
}

TEST(TextHelpers, CompareAsciiNoCaseFoldsOnlyAToZ) {
    struct Cmp {
        String a;
        String b;
        int sign;
    };
    const Cmp cases[] = {
        {u"Servers", u"SERVERS", 0},
        {u"", u"", 0},
        {u"Servers2", u"Servers", 1},
        {u"Servers", u"Servers2", -1},
        {u"a", u"B", -1},
        // Letters are folded to upper case, so '_' sorts after them.
        {u"_", u"a", 1},
        {u"\uFF41", u"\uFF21", 1},  // full-width a/A are not folded
        {u"\u00E9", u"\u00C9", 1},  // nor are accented letters
        {u"传奇", u"传奇", 0},
    };
    for (const auto& c : cases) {
        const int r = tw::CompareAsciiNoCase(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << U8(c.a) << " vs " << U8(c.b);
    }
}

TEST(TextHelpers, PositionOf) {
    struct Pos {
        String sub;
        String text;
        int start;
        int expected;
    };
    const Pos cases[] = {
        {u"b", u"abcb", 1, 2},
        {u"b", u"abcb", 3, 4},
        {u"b", u"abcb", 5, 0},
        {u"c", u"abc", 3, 3},
        {u"bc", u"abc", 3, 0},  // could only begin where it no longer fits
        {u"aa", u"aaa", 2, 2},
        {u"B", u"abc", 1, 0},  // letter case matters
        {u"", u"abc", 1, 0},
        {u"a", u"", 1, 0},
        {u"a", u"abc", 0, 0},
        {u"a", u"abc", -5, 0},
        {u"Mir200", u"D:\\S1\\Mir200\\a.txt", 1, 7},
        {u"世界", u"传奇世界", 2, 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tw::PositionOf(c.sub, c.text, c.start), c.expected)
            << U8(c.sub) << " in " << U8(c.text) << " from " << c.start;
    }
}

TEST(Utf8, ConvertsBothWaysAndReplacesMalformedInput) {
    const String text = u"D:\\传奇\\\U0001F600.txt";
    EXPECT_EQ(tw::ToUtf8(text), "D:\\\xE4\xBC\xA0\xE5\xA5\x87\\\xF0\x9F\x98\x80.txt");
    EXPECT_EQ(tw::FromUtf8(tw::ToUtf8(text)), text);

    const struct {
        std::string bytes;
        String expected;
    } malformed[] = {
        {"a\xFF" "b", u"a\uFFFDb"},
        {"\xC0\xAF", u"\uFFFD\uFFFD"},          // overlong '/'
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
        {"\xE4\xBC", u"\uFFFD\uFFFD"},          // cut short
    };
    for (const auto& m : malformed) EXPECT_EQ(tw::FromUtf8(m.bytes), m.expected);
    EXPECT_EQ(tw::ToUtf8(String(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
}

std::int32_t Dos(int year, int month, int day, int hour, int minute, int second) {
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(year - 1980) << 25) | (month << 21) | (day << 16) |
                                     (hour << 11) | (minute << 5) | (second / 2));
}

TEST(DosTime, ConvertsToDaysSince1899) {
    const struct {
        std::int32_t dos;
        double expected;
    } cases[] = {
        {Dos(1980, 1, 1, 0, 0, 0), 29221.0},
        {Dos(2000, 1, 1, 12, 0, 0), 36526.5},
        {Dos(2024, 2, 29, 10, 0, 2), 45351.0 + 36002.0 / 86400.0},
        {Dos(2107, 12, 31, 23, 59, 58), 75971.0 + 86398.0 / 86400.0},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(tw::DosTimeToDateTime(c.dos), c.expected) << std::hex << c.dos;
}

TEST(DosTime, DatesAndTimesThatDoNotExistRaise) {
    const struct {
        std::int32_t dos;
        const char* message;
    } cases[] = {
        {0, "Invalid argument to date encode"},  // month 0, day 0
        {Dos(2023, 2, 29, 0, 0, 0), "Invalid argument to date encode"},
        {Dos(2100, 2, 29, 0, 0, 0), "Invalid argument to date encode"},
        {Dos(2024, 4, 31, 0, 0, 0), "Invalid argument to date encode"},
        {Dos(2024, 13, 1, 0, 0, 0), "Invalid argument to date encode"},
        {Dos(2024, 1, 1, 24, 0, 0), "Invalid argument to time encode"},
        {Dos(2024, 1, 1, 0, 60, 0), "Invalid argument to time encode"},
        {Dos(2024, 1, 1, 0, 0, 60), "Invalid argument to time encode"},
    };
    for (const auto& c : cases) {
        try {
            tw::DosTimeToDateTime(c.dos);
            ADD_FAILURE() << "no error for " << std::hex << c.dos;
        } catch (const tw::EConvertError& e) {
            EXPECT_STREQ(e.what(), c.message) << std::hex << c.dos;
        }
    }
    EXPECT_NO_THROW(tw::DosTimeToDateTime(Dos(2024, 2, 29, 23, 59, 58)));
}

}  // namespace
