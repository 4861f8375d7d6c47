// Profile (INI) files: what a read returns and what a write changes. The
// files written here hold ASCII or are made by the platform itself, so every
// system reads them the same way.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/temp_drive.h"

namespace {

using tw::String;
using twtest::U8;

class Profile : public twtest::TempDrive {
protected:
    // The text of a file as UTF-8: a file that starts with the UTF-16LE mark
    // (what Windows makes) is decoded, any other is taken as it is.
    std::string Text(std::u16string_view rel) const {
        const std::string bytes = ReadFile(rel);
        if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE') return bytes;
        String text;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8));
        }
        return U8(text);
    }
};

TEST_F(Profile, ReadFollowsTheWindowsRules) {
    WriteFile(u"Config.ini",
              "; a comment line\r\n"
              "[Config]\r\n"
              "GameName=Legend\r\n"
              "  Spaced  =   two words   \r\n"
              "Quoted=\" padded \"\r\n"
              "Single='x'\r\n"
              "Unmatched=\"x\r\n"
              "Inner=a\"b\"c\r\n"
              "Empty=\r\n"
              "Twice=first\r\n"
              "twice=second\r\n"
              "Equals=a=b\r\n"
              "NoValueLine\r\n"
              "[ GameConf ]\r\n"
              "GameName=Conf\r\n"
              "[config]\r\n"
              "Other=in the duplicate section\r\n"
              "GameName=ignored\r\n");
    const struct {
        String section;
        String key;
        String expected;
    } cases[] = {
        {u"Config", u"GameName", u"Legend"},
        {u"CONFIG", u"gamename", u"Legend"},  // names ignore letter case
        {u"Config", u"Spaced", u"two words"},
        {u"Config", u"Quoted", u" padded "},  // one pair of quotes goes, what they enclose stays
        {u"Config", u"Single", u"x"},
        {u"Config", u"Unmatched", u"\"x"},
        {u"Config", u"Inner", u"a\"b\"c"},
        {u"Config", u"Empty", u""},
        {u"Config", u"Twice", u"first"},  // the first of duplicate keys wins
        {u"Config", u"Equals", u"a=b"},
        {u"GameConf", u"GameName", u"Conf"},
        {u"Config", u"Other", u""},  // only the first of duplicate sections is read
        {u"Config", u"Missing", u""},
        {u"Missing", u"GameName", u""},
        {u"Config", u"NoValueLine", u""},
    };
    tw::TIniFile ini(Path(u"Config.ini"));
    for (const auto& c : cases) {
        EXPECT_EQ(ini.ReadValue(c.section, c.key), c.expected) << U8(c.section) << "/" << U8(c.key);
    }
}

TEST_F(Profile, ReadReturnsAtMost2047CodeUnits) {
    const std::string longValue(3000, 'v');
    WriteFile(u"a.ini", "[S]\r\nLong=" + longValue + "\r\nExact=" + longValue.substr(0, 2047) + "\r\n");
    tw::TIniFile ini(Path(u"a.ini"));
    EXPECT_EQ(ini.ReadValue(u"S", u"Long"), String(2047, u'v'));
    EXPECT_EQ(ini.ReadValue(u"S", u"Exact"), String(2047, u'v'));
}

TEST_F(Profile, ReadOfAMissingFileIsEmptyAndCreatesNothing) {
    tw::TIniFile ini(Path(u"Tidewell.ini"));
    EXPECT_EQ(ini.ReadValue(u"LastUsed", u"Version"), u"");
    ini.FlushProfile();
    ini.DropSection(u"LastUsed");
    EXPECT_FALSE(Exists(u"Tidewell.ini"));
}

// Operators type Chinese version names and folders; whatever a new history
// file is made in, they come back as typed, and the cap counts code units.
TEST_F(Profile, ChineseTextRoundTripsAndTheCapCountsCodeUnits) {
    const String values[] = {
        u"传奇世界 1.76 复古版",
        u"D:\\服务器\\一区",
        u"𠀀𠀁",  // beyond the Basic Multilingual Plane: two code units each
        String(3000, u'版'),
    };
    {
        tw::TIniFile ini(Path(u"Tidewell.ini"));
        int n = 0;
        for (const auto& v : values) ini.WriteValue(u"版本历史", u"Item" + tw::FromUtf8(std::to_string(n++)), v);
    }
    tw::TIniFile again(Path(u"Tidewell.ini"));
    EXPECT_EQ(again.ReadValue(u"版本历史", u"Item0"), values[0]);
    EXPECT_EQ(again.ReadValue(u"版本历史", u"Item1"), values[1]);
    EXPECT_EQ(again.ReadValue(u"版本历史", u"Item2"), values[2]);
    EXPECT_EQ(again.ReadValue(u"版本历史", u"Item3"), String(2047, u'版'));
}

// A line break typed into a value must not start a line of its own: that
// would forge a section (here the drive table) in the operator's file.
TEST_F(Profile, LineBreaksInAValueCannotStartNewLines) {
    tw::TIniFile ini(Path(u"Tidewell.ini"));
    ini.WriteValue(u"LastUsed", u"SubDir", u"a\r\n[Drives]\r\nD:=/");
    EXPECT_EQ(ini.ReadValue(u"Drives", u"D:"), u"");
    EXPECT_EQ(ini.ReadValue(u"LastUsed", u"SubDir"), u"a  [Drives]  D:=/");
}

TEST_F(Profile, WritesCreateReplaceAndAddAndAreSeenByTheNextRead) {
    {
        tw::TIniFile ini(Path(u"Tidewell.ini"));
        ini.WriteValue(u"VersionHistory", u"Item0", u"1.76");
        ini.WriteValue(u"VersionHistory", u"Item1", u"1.80");
        ini.WriteValue(u"LastUsed", u"Version", u"1.76");
        ini.WriteValue(u"versionhistory", u"ITEM0", u"2.0");  // replaces, whatever the case
        ini.WriteValue(u"LastUsed", u"SubDir", u"");          // an empty value keeps its key
    }
    tw::TIniFile again(Path(u"Tidewell.ini"));
    EXPECT_EQ(again.ReadValue(u"VersionHistory", u"Item0"), u"2.0");
    EXPECT_EQ(again.ReadValue(u"VersionHistory", u"Item1"), u"1.80");
    EXPECT_EQ(again.ReadValue(u"LastUsed", u"Version"), u"1.76");
    EXPECT_EQ(again.ReadValue(u"LastUsed", u"SubDir"), u"");
    const std::string text = Text(u"Tidewell.ini");
    EXPECT_NE(text.find("SubDir="), std::string::npos) << text;
    // One section each, and the new key went into the section it belongs to.
    EXPECT_EQ(text.find("[VersionHistory]"), text.rfind("[VersionHistory]")) << text;
    EXPECT_LT(text.find("Item1="), text.find("[LastUsed]")) << text;
}

TEST_F(Profile, WriteKeepsTheOtherSectionsAndKeys) {
    WriteFile(u"Config.ini", "[Config]\r\nGameName=Legend\r\nPort=7000\r\n\r\n[Other]\r\nA=1\r\n");
    tw::TIniFile ini(Path(u"Config.ini"));
    ini.WriteValue(u"Config", u"GameName", u"Legend 2");
    ini.WriteValue(u"Config", u"New", u"n");
    EXPECT_EQ(ini.ReadValue(u"Config", u"GameName"), u"Legend 2");
    EXPECT_EQ(ini.ReadValue(u"Config", u"Port"), u"7000");
    EXPECT_EQ(ini.ReadValue(u"Config", u"New"), u"n");
    EXPECT_EQ(ini.ReadValue(u"Other", u"A"), u"1");
}

TEST_F(Profile, DropSectionRemovesItsKeysOnly) {
    WriteFile(u"h.ini", "[SubDirHistory]\r\nItem0=a\r\nItem1=b\r\n[LastUsed]\r\nSubDir=a\r\n");
    tw::TIniFile ini(Path(u"h.ini"));
    ini.DropSection(u"subdirhistory");
    EXPECT_EQ(ini.ReadValue(u"SubDirHistory", u"Item0"), u"");
    EXPECT_EQ(ini.ReadValue(u"SubDirHistory", u"Item1"), u"");
    EXPECT_EQ(ini.ReadValue(u"LastUsed", u"SubDir"), u"a");

    ini.WriteValue(u"SubDirHistory", u"Item0", u"c");
    EXPECT_EQ(ini.ReadValue(u"SubDirHistory", u"Item0"), u"c");
    EXPECT_EQ(ini.ReadValue(u"SubDirHistory", u"Item1"), u"");
}

// Only the first of duplicate sections is read, so a copy left behind by a
// drop would come into view with its stale entries.
TEST_F(Profile, DropSectionRemovesEveryCopyOfADuplicatedSection) {
    WriteFile(u"h.ini",
              "[VersionHistory]\r\n0=new\r\n[LastUsed]\r\nVersion=v\r\n[versionhistory]\r\n0=old\r\n1=older\r\n"
              "[VersionHistory]\r\n2=oldest\r\n[SubDirHistory]\r\n0=s\r\n");
    tw::TIniFile ini(Path(u"h.ini"));
    ini.DropSection(u"VersionHistory");
    for (const String key : {u"0", u"1", u"2"}) EXPECT_EQ(ini.ReadValue(u"VersionHistory", key), u"") << U8(key);
    EXPECT_EQ(ini.ReadValue(u"LastUsed", u"Version"), u"v");
    EXPECT_EQ(ini.ReadValue(u"SubDirHistory", u"0"), u"s");
    ini.WriteValue(u"VersionHistory", u"0", u"newest");
    EXPECT_EQ(Text(u"h.ini").find("old"), std::string::npos) << Text(u"h.ini");
}

TEST_F(Profile, AWriteThatCannotBeDoneRaisesWithThePath) {
    const String path = Path(u"Missing\\Tidewell.ini");
    tw::TIniFile ini(path);
    try {
        ini.WriteValue(u"LastUsed", u"Version", u"1");
        ADD_FAILURE() << "no error";
    } catch (const tw::EIniFileException& e) {
        EXPECT_EQ(e.Message(), u"Unable to write to " + path);
    }
    EXPECT_FALSE(Exists(u"Missing"));
}

TEST_F(Profile, AFolderWhereTheFileShouldBeIsNotReplaced) {
    MakeDir(u"Tidewell.ini");
    tw::TIniFile ini(Path(u"Tidewell.ini"));
    EXPECT_EQ(ini.State(), tw::TProfileState::NotAFile);
    EXPECT_EQ(ini.ReadValue(u"S", u"K"), u"");
    EXPECT_THROW(ini.WriteValue(u"S", u"K", u"V"), tw::EIniFileException);
    EXPECT_THROW(ini.DropSection(u"S"), tw::EIniFileException);
    EXPECT_TRUE(tw::IsDirectory(Path(u"Tidewell.ini")));
}

// No INI file comes near the cap; one past it is taken for something else
// (a sparse file, a log written into the wrong place) and left alone.
TEST_F(Profile, AFileOverTheSizeCapReadsEmptyAndIsNeverWritten) {
    std::string atCap = "[Config]\r\nGameName=Legend\r\n";
    const std::string filler = ";" + std::string(1021, 'x') + "\r\n";
    while (atCap.size() + filler.size() <= static_cast<std::size_t>(tw::kMaxProfileBytes)) atCap += filler;
    atCap += std::string(static_cast<std::size_t>(tw::kMaxProfileBytes) - atCap.size(), ' ');
    WriteFile(u"AtCap.ini", atCap);
    WriteFile(u"OverCap.ini", atCap + " ");

    tw::TIniFile fits(Path(u"AtCap.ini"));
    EXPECT_EQ(fits.State(), tw::TProfileState::Readable);
    EXPECT_EQ(fits.ReadValue(u"Config", u"GameName"), u"Legend");

    tw::TIniFile over(Path(u"OverCap.ini"));
    EXPECT_EQ(over.State(), tw::TProfileState::TooLarge);
    EXPECT_EQ(over.ReadValue(u"Config", u"GameName"), u"");
    EXPECT_THROW(over.WriteValue(u"Config", u"GameName", u"x"), tw::EIniFileException);
    EXPECT_THROW(over.DropSection(u"Config"), tw::EIniFileException);
    EXPECT_EQ(ReadFile(u"OverCap.ini"), atCap + " ");

    EXPECT_EQ(tw::TIniFile(Path(u"Missing.ini")).State(), tw::TProfileState::Missing);
}

}  // namespace
