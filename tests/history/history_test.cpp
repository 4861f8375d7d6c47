// The history file and the ordering rule of the histories, without a window.
#include "history/history.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

#include "support/temp_drive.h"

namespace {

using tw::String;
using twtest::U8;
using List = std::vector<String>;
using KeyValues = std::vector<std::pair<String, String>>;

std::vector<std::string> Printable(const List& list) {
    std::vector<std::string> out;
    for (const String& s : list) out.push_back(U8(s));
    return out;
}

class HistoryFileTest : public twtest::TempDrive {
protected:
    void SetUp() override {
        TempDrive::SetUp();
        iniPath_ = CDrive() + u"\\Tidewell.ini";
    }

    const String& IniPath() const { return iniPath_; }

    void Put(std::u16string_view section, const KeyValues& values) {
        tw::TIniFile ini(iniPath_);
        for (const auto& [key, value] : values) ini.WriteValue(section, key, value);
    }

    String Get(std::u16string_view section, std::u16string_view key) const {
        return tw::TIniFile(iniPath_).ReadValue(section, key);
    }

    // The file's bytes as they lie on the disk; empty when it is missing.
    std::string Bytes() const {
        if (!tw::IsFile(iniPath_)) return {};
        auto stream = tw::OpenForReading(iniPath_);
        std::string bytes;
        char buffer[4096];
        while (std::size_t n = stream->Read(buffer, sizeof buffer)) bytes.append(buffer, n);
        return bytes;
    }

    // The file's text as UTF-8, whether it is stored as UTF-16LE with a
    // byte-order mark (a new file on Windows) or as UTF-8.
    std::string Text() const {
        const std::string bytes = Bytes();
        if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE') return bytes;
        String units;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  static_cast<unsigned char>(bytes[i + 1]) << 8));
        return U8(units);
    }

private:
    String iniPath_;
};

// Loading reads only what there is: a missing file stays missing.
TEST_F(HistoryFileTest, MissingFileReadsEmptyAndIsNotCreated) {
    const tw::TIniFile ini(IniPath());
    EXPECT_TRUE(tw::ReadHistoryList(ini, tw::VersionHistorySection).empty());
    EXPECT_TRUE(tw::ReadHistoryList(ini, tw::SubDirHistorySection).empty());
    const tw::TLastUsed pair = tw::ReadLastUsed(IniPath());
    EXPECT_TRUE(pair.Version.empty());
    EXPECT_TRUE(pair.SubDir.empty());
    EXPECT_FALSE(tw::IsFile(IniPath()));
}

TEST_F(HistoryFileTest, ReadHistoryListTakesKeysZeroToNineInKeyOrder) {
    struct Case {
        const char* name;
        KeyValues stored;
        List expected;
    };
    const std::vector<Case> cases = {
        {"gaps close up", {{u"0", u"a"}, {u"1", u"b"}, {u"5", u"c"}}, {u"a", u"b", u"c"}},
        {"empty values skipped", {{u"0", u""}, {u"1", u"b"}, {u"2", u""}, {u"3", u"d"}}, {u"b", u"d"}},
        {"keys past 9 and other keys never read",
         {{u"9", u"nine"}, {u"10", u"ten"}, {u"11", u"eleven"}, {u"x", u"other"}, {u"-1", u"minus"}},
         {u"nine"}},
        {"key order, not line order", {{u"2", u"c"}, {u"0", u"a"}, {u"1", u"b"}}, {u"a", u"b", u"c"}},
        {"duplicates kept", {{u"0", u"dup"}, {u"1", u"x"}, {u"2", u"dup"}}, {u"dup", u"x", u"dup"}},
        {"case and text kept", {{u"0", u"开区版本"}, {u"1", u"ABC"}, {u"2", u"abc"}},
         {u"开区版本", u"ABC", u"abc"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        { tw::TIniFile(IniPath()).DropSection(tw::VersionHistorySection); }
        Put(tw::VersionHistorySection, c.stored);
        const tw::TIniFile ini(IniPath());
        EXPECT_EQ(Printable(tw::ReadHistoryList(ini, tw::VersionHistorySection)), Printable(c.expected));
        EXPECT_TRUE(tw::ReadHistoryList(ini, tw::SubDirHistorySection).empty());
    }
}

TEST(AddToHistory, OrdersNewestFirstWithExactComparison) {
    const List ten = {u"e0", u"e1", u"e2", u"e3", u"e4", u"e5", u"e6", u"e7", u"e8", u"e9"};
    struct Case {
        const char* name;
        List before;
        String text;
        List after;
    };
    const std::vector<Case> cases = {
        {"into an empty list", {}, u"v1", {u"v1"}},
        {"existing entry moves to the front", {u"x", u"abc", u"y"}, u"abc", {u"abc", u"x", u"y"}},
        {"front entry stays alone", {u"abc", u"x"}, u"abc", {u"abc", u"x"}},
        {"letter case keeps entries apart", {u"abc"}, u"ABC", {u"ABC", u"abc"}},
        {"leading blank keeps entries apart", {u"abc"}, u" abc", {u" abc", u"abc"}},
        {"trailing blank keeps entries apart", {u"abc"}, u"abc ", {u"abc ", u"abc"}},
        {"text kept untrimmed", {}, u"  v1\t", {u"  v1\t"}},
        {"only the upper copy is removed", {u"x", u"dup", u"y", u"dup"}, u"dup", {u"dup", u"x", u"y", u"dup"}},
        {"eleventh entry drops the oldest", ten, u"new",
         {u"new", u"e0", u"e1", u"e2", u"e3", u"e4", u"e5", u"e6", u"e7", u"e8"}},
        {"re-adding the oldest of ten drops nothing", ten, u"e9",
         {u"e9", u"e0", u"e1", u"e2", u"e3", u"e4", u"e5", u"e6", u"e7", u"e8"}},
        {"empty text changes nothing", {u"a"}, u"", {u"a"}},
        {"blanks only change nothing", {u"a"}, u" \t\r\n", {u"a"}},
        {"ideographic space is not blank", {u"a"}, u"\u3000", {u"\u3000", u"a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        List list = c.before;
        tw::AddToHistory(list, c.text);
        EXPECT_EQ(Printable(list), Printable(c.after));
    }
}

TEST_F(HistoryFileTest, WriteHistoriesRenumbersAndLeavesNoStaleKeys) {
    Put(tw::VersionHistorySection, {{u"0", u"a"}, {u"1", u"b"}, {u"5", u"c"}});
    Put(tw::SubDirHistorySection, {{u"0", u"s0"}, {u"1", u"s1"}, {u"2", u"s2"}, {u"9", u"s9"}});

    List versions;
    List subDirs;
    {
        const tw::TIniFile ini(IniPath());
        versions = tw::ReadHistoryList(ini, tw::VersionHistorySection);
        subDirs = tw::ReadHistoryList(ini, tw::SubDirHistorySection);
    }
    subDirs.resize(1);  // an entry deleted from a list must leave the file too
    {
        tw::TIniFile ini(IniPath());
        tw::WriteHistories(ini, versions, subDirs);
    }

    EXPECT_EQ(Get(tw::VersionHistorySection, u"0"), u"a");
    EXPECT_EQ(Get(tw::VersionHistorySection, u"1"), u"b");
    EXPECT_EQ(Get(tw::VersionHistorySection, u"2"), u"c");
    EXPECT_EQ(Get(tw::VersionHistorySection, u"5"), u"");
    EXPECT_EQ(Get(tw::SubDirHistorySection, u"0"), u"s0");
    for (const char16_t* key : {u"1", u"2", u"9"}) EXPECT_EQ(Get(tw::SubDirHistorySection, key), u"") << U8(key);
}

TEST_F(HistoryFileTest, WriteHistoriesWritesAtMostTenAndDropsEmptyHistories) {
    List twelve;
    for (int i = 0; i < 12; ++i) twelve.push_back(u"v" + tw::FromUtf8(std::to_string(i)));
    {
        tw::TIniFile ini(IniPath());
        tw::WriteHistories(ini, twelve, {});
    }
    EXPECT_EQ(Get(tw::VersionHistorySection, u"9"), u"v9");
    EXPECT_EQ(Get(tw::VersionHistorySection, u"10"), u"");
    EXPECT_EQ(Get(tw::VersionHistorySection, u"11"), u"");
    EXPECT_EQ(Bytes().find("SubDirHistory"), std::string::npos);

    {
        tw::TIniFile ini(IniPath());
        tw::WriteHistories(ini, {}, {});
    }
    EXPECT_EQ(Bytes().find("VersionHistory"), std::string::npos);
}

// Values come back through a 2048-unit buffer: counted in UTF-16 code units,
// not in the bytes the file stores them in.
TEST_F(HistoryFileTest, LongEntryComesBackCutTo2047CodeUnits) {
    String longText;
    while (longText.size() < 3000) longText += u"开区版本Ab";
    {
        tw::TIniFile ini(IniPath());
        tw::WriteHistories(ini, {longText}, {u"short"});
    }
    const tw::TIniFile ini(IniPath());
    const List versions = tw::ReadHistoryList(ini, tw::VersionHistorySection);
    ASSERT_EQ(versions.size(), 1u);
    EXPECT_EQ(versions[0], longText.substr(0, 2047));
}

TEST_F(HistoryFileTest, LastUsedPairRoundTripsAndKeepsAnEmptyVersion) {
    {
        tw::TIniFile ini(IniPath());
        tw::WriteLastUsed(ini, u"开区版本", u"Servers");
    }
    tw::TLastUsed pair = tw::ReadLastUsed(IniPath());
    EXPECT_EQ(pair.Version, u"开区版本");
    EXPECT_EQ(pair.SubDir, u"Servers");

    // A blank version with a subfolder: the empty value replaces the old one.
    {
        tw::TIniFile ini(IniPath());
        tw::WriteLastUsed(ini, u"", u"Servers");
    }
    pair = tw::ReadLastUsed(IniPath());
    EXPECT_EQ(pair.Version, u"");
    EXPECT_EQ(pair.SubDir, u"Servers");
    EXPECT_NE(Text().find("Version="), std::string::npos);
}

// The drive table and anything else the operator keeps in the file must
// survive every save of the history.
TEST_F(HistoryFileTest, SavesKeepEveryOtherSection) {
    Put(u"Drives", {{u"D:", u"/srv/mir"}, {u"\\\\nas\\game", u"/mnt/nas-game"}});
    Put(u"Notes", {{u"owner", u"ops"}});
    Put(tw::VersionHistorySection, {{u"0", u"old"}});
    {
        tw::TIniFile ini(IniPath());
        tw::WriteLastUsed(ini, u"v", u"s");
        tw::WriteHistories(ini, {u"v"}, {u"s"});
        tw::WriteHistories(ini, {}, {});
    }
    EXPECT_EQ(Get(u"Drives", u"D:"), u"/srv/mir");
    EXPECT_EQ(Get(u"Drives", u"\\\\nas\\game"), u"/mnt/nas-game");
    EXPECT_EQ(Get(u"Notes", u"owner"), u"ops");
    EXPECT_EQ(Get(tw::LastUsedSection, tw::LastUsedVersionKey), u"v");
    EXPECT_EQ(Get(tw::VersionHistorySection, u"0"), u"");
}

#ifndef _WIN32

template <class Write>
void ExpectRefused(Write write) {
    try {
        tw::TIniFile ini{String(tw::HistoryIniPath)};
        write(ini);
        ADD_FAILURE() << "the write was not refused";
    } catch (const tw::EIniFileException& e) {
        EXPECT_EQ(U8(e.Message()), U8(u"Unable to write to C:\\Tidewell.ini"));
    }
}

// C: below a regular file: no folder can be made there, even by root.
TEST_F(HistoryFileTest, UnwritableLocationRaisesWithTheWindowsPath) {
    ASSERT_EQ(CDrive(), u"C:");
    WriteFile(u"blocker", "not a folder");
    ASSERT_TRUE(tw::MapDrive(u"C:", Host(u"blocker") + "/drive_c"));

    ExpectRefused([](tw::TIniFile& ini) { tw::WriteLastUsed(ini, u"v", u"s"); });
    ExpectRefused([](tw::TIniFile& ini) { tw::WriteHistories(ini, {u"v"}, {u"s"}); });
    EXPECT_FALSE(tw::IsFile(tw::HistoryIniPath));
}

// While the process may not write any file data (a limit root obeys too),
// every save fails and the file keeps what it held, byte for byte.
class FileSizeLimit {
public:
    FileSizeLimit() {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit none = saved_;
        none.rlim_cur = 0;
        ok_ = setrlimit(RLIMIT_FSIZE, &none) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    bool Ok() const { return ok_; }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
    bool ok_ = false;
};

TEST_F(HistoryFileTest, RefusedSaveLeavesTheFileAsItWas) {
    ASSERT_EQ(CDrive(), u"C:");
    Put(u"Drives", {{u"D:", u"/srv/mir"}});
    Put(tw::LastUsedSection, {{u"Version", u"v0"}, {u"SubDir", u"s0"}});
    Put(tw::VersionHistorySection, {{u"0", u"v0"}, {u"1", u"v1"}});
    Put(tw::SubDirHistorySection, {{u"0", u"s0"}});
    const std::string before = Bytes();
    ASSERT_FALSE(before.empty());

    std::vector<std::string> messages;
    {
        FileSizeLimit limit;
        ASSERT_TRUE(limit.Ok());
        // No assertion output while the limit holds.
        for (int step = 0; step < 2; ++step) {
            try {
                tw::TIniFile ini{String(tw::HistoryIniPath)};
                if (step == 0)
                    tw::WriteLastUsed(ini, u"new", u"new");
                else
                    tw::WriteHistories(ini, {u"new"}, {u"new"});
                messages.push_back("not refused");
            } catch (const tw::EIniFileException& e) {
                messages.push_back(U8(e.Message()));
            }
        }
    }
    const std::string expected = U8(u"Unable to write to C:\\Tidewell.ini");
    EXPECT_EQ(messages, (std::vector<std::string>{expected, expected}));
    EXPECT_EQ(Bytes(), before);
}

#endif  // _WIN32

}  // namespace
