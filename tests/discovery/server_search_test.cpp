// Finding the installations on a drive: root and subfolder mode, the folder
// left out in root mode, the Config.ini readers and the encodings operators use.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "discovery/server_search.h"
#include "support/temp_drive.h"

namespace {

using tw::String;

std::vector<std::string> Sorted(std::vector<String> paths)
{
    std::vector<std::string> out;
    for (const String& p : paths)
        out.push_back(tw::ToUtf8(p));
    std::sort(out.begin(), out.end());
    return out;
}

class ServerSearchTest : public twtest::TempDrive {
protected:
    void SetUp() override
    {
        TempDrive::SetUp();
        Build(uR"(
            Config.ini=[Config]|GameName=RootGame
            root.txt
            Servers\Config.ini=[Config]|GameName=GS
            Servers\S1\Config.ini=[Config]|GameName=G1
            Servers\S2\Config.ini=[Config]|GameName=G2
            Servers\Notes\
            Servers2\Config.ini=[Config]|GameName=G3
            Parent\P1\Config.ini=[Config]|GameName=GP1
            S3\Config.ini=[Config]|GameName=|[GameConf]|GameName=G4
            Both\Config.ini=[Config]|GameName=C|[GameConf]|GameName=F
            NoName\Config.ini=[Config]|GameName=|[GameConf]|GameName=
            NoIni\
            IniFolder\Config.ini\
            .Hidden\Config.ini=[Config]|GameName=GH
        )");
        Build(u"\u00C91\\Config.ini=[Config]|GameName=GE");
        SetHidden(u".Hidden");
    }

    // The root-mode result when nothing is left out.
    std::vector<String> AllRoot() const
    {
        return {Path(u"Servers"), Path(u"Servers2"), Path(u"S3"), Path(u"Both"), Path(u"\u00C91")};
    }

    static std::vector<String> Without(std::vector<String> paths, const String& gone)
    {
        paths.erase(std::remove(paths.begin(), paths.end(), gone), paths.end());
        return paths;
    }

    // Runs the search into a list that already holds an entry, which must stay.
    std::vector<String> Search(const String& subDir, const String& baseRootPath, String* message)
    {
        std::vector<String> found = {u"earlier"};
        *message = tw::SearchServerDirs(Drive(), subDir, baseRootPath, found);
        EXPECT_FALSE(found.empty());
        if (found.empty() || found.front() != u"earlier") {
            ADD_FAILURE() << "the list was cleared or reordered";
            return found;
        }
        return {found.begin() + 1, found.end()};
    }
};

TEST_F(ServerSearchTest, ConfigReaders)
{
    struct Case {
        const char16_t* dir;
        const char16_t* name;
    };
    const Case cases[] = {
        {uR"(Servers\S1)", u"G1"},
        {u"S3", u"G4"},    // "Config" empty: "GameConf" is read
        {u"Both", u"C"},   // "Config" first
        {u"NoName", u""},  // empty in both sections
        {u"NoIni", u""},
        {u"IniFolder", u""},  // Config.ini is a folder
        {u"Missing", u""},
        {u".Hidden", u"GH"},  // the readers do not care; the search leaves it out
    };
    for (const Case& c : cases) {
        const String dir = Path(c.dir);
        const String ini = dir + u"\\Config.ini";
        SCOPED_TRACE(twtest::U8(c.dir));
        EXPECT_EQ(tw::ToUtf8(tw::ReadGameName(ini)), tw::ToUtf8(c.name));
        const bool has = c.name[0] != 0;
        EXPECT_EQ(tw::HasGameName(ini), has);
        std::vector<String> found;
        tw::AddIfServerDir(dir, found);
        EXPECT_EQ(found, has ? std::vector<String>{dir} : std::vector<String>{});
    }
}

TEST_F(ServerSearchTest, RootModeLeavesOutTheDropsOwnFolderOnly)
{
    String lowerDrive = Drive();
    for (char16_t& ch : lowerDrive)
        if (ch >= u'A' && ch <= u'Z')
            ch = static_cast<char16_t>(ch - u'A' + u'a');

    struct Case {
        String baseRootPath;
        String leftOut;  // empty: nothing left out
    };
    const Case cases[] = {
        {u"", u""},
        {Path(u"Servers\\"), Path(u"Servers")},
        {Path(u"SERVERS\\"), Path(u"Servers")},
        {lowerDrive + u"\\servers\\", Path(u"Servers")},
        {Path(u"Servers"), Path(u"Servers")},
        {Path(u"Servers2\\"), Path(u"Servers2")},
        {Path(u"\u00C91\\"), Path(u"\u00C91")},
        {Path(u"\u00E91\\"), u""},  // only a-z fold: é is not É
        {Path(u"Serv\\"), u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(twtest::U8(c.baseRootPath));
        String message;
        const std::vector<String> found = Search(u"", c.baseRootPath, &message);
        EXPECT_EQ(Sorted(found), Sorted(Without(AllRoot(), c.leftOut)));
        EXPECT_EQ(message, u"");
    }
}

TEST_F(ServerSearchTest, SubfolderMode)
{
    const String baseRoot = Path(u"Servers\\");
    const String inServers[] = {Path(uR"(Servers\S1)"), Path(uR"(Servers\S2)")};
    const std::vector<String> servers(std::begin(inServers), std::end(inServers));

    struct Case {
        String text;
        std::vector<String> found;
        String message;
    };
    const Case cases[] = {
        {u"Servers", servers, u""},
        {u" \t Servers\\ \t", servers, u""},
        {u"Servers\\\\", servers, u""},  // one backslash kept: still D:\Servers\S1
        {u"Parent", {Path(uR"(Parent\P1)")}, u""},
        // A lone backslash searches the root, and nothing is left out there.
        {u"\\", AllRoot(), u""},
        // Blanks only: root mode, which leaves out the drop's folder.
        {u" \t ", Without(AllRoot(), Path(u"Servers")), u""},
        {u"Missing", {}, u"子目录 \"Missing\" 不存在"},
        {u"  Missing\\ ", {}, u"子目录 \"Missing\" 不存在"},
        {u"Missing\\\\", {}, u"子目录 \"Missing\\\" 不存在"},
        {u"root.txt", {}, u"子目录 \"root.txt\" 不存在"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(twtest::U8(c.text));
        String message;
        const std::vector<String> found = Search(c.text, baseRoot, &message);
        EXPECT_EQ(Sorted(found), Sorted(c.found));
        EXPECT_EQ(twtest::U8(message), twtest::U8(c.message));
    }
}

// Results keep the file system's listing order: no sorting.
TEST_F(ServerSearchTest, KeepsTheEnumerationOrder)
{
    const char16_t* names[] = {u"m", u"B", u"z9", u"a", u"Q1", u"k", u"x", u"C2", u"d", u"y7"};
    for (const char16_t* name : names)
        Build(u"Many\\" + String(name) + u"\\Config.ini=[Config]|GameName=G");

    std::vector<String> listed;
    tw::TSearchRec rec;
    ASSERT_EQ(tw::StartSearch(Path(u"Many\\*.*"), tw::faDirectory, rec), 0);
    do {
        if (rec.Name != u"." && rec.Name != u"..")
            listed.push_back(Path(u"Many\\" + rec.Name));
    } while (tw::ContinueSearch(rec) == 0);
    tw::EndSearch(rec);

    String message;
    EXPECT_EQ(Search(u"Many", u"", &message), listed);
}

TEST_F(ServerSearchTest, ConfigEncodingsOperatorsUse)
{
    const String name = u"开区版本";
    const std::string u8name = tw::ToUtf8(name);
    auto utf16le = [](const String& text) {
        std::string bytes = "\xFF\xFE";
        for (char16_t ch : text) {
            bytes.push_back(static_cast<char>(ch & 0xFF));
            bytes.push_back(static_cast<char>(ch >> 8));
        }
        return bytes;
    };
    struct Case {
        const char16_t* dir;
        std::string bytes;
    };
    const Case cases[] = {
        {u"Gbk", "[Config]\r\nGameName=\xBF\xAA\xC7\xF8\xB0\xE6\xB1\xBE\r\n"},
        {u"Utf8Bom", "\xEF\xBB\xBF[Config]\r\nGameName=" + u8name + "\r\n"},
        {u"Utf16", utf16le(u"[Config]\r\nGameName=" + name + u"\r\n")},
        {u"Utf16GameConf", utf16le(u"[Config]\r\nGameName=\r\n[GameConf]\r\nGameName=" + name + u"\r\n")},
    };
    std::vector<String> expected;
    for (const Case& c : cases) {
        const String dir = String(u"Enc\\") + c.dir;
        Build(dir + u"\\");
        WriteFile(dir + u"\\Config.ini", c.bytes);
        EXPECT_EQ(tw::ToUtf8(tw::ReadGameName(Path(dir + u"\\Config.ini"))), u8name) << twtest::U8(c.dir);
        expected.push_back(Path(dir));
    }
    String message;
    EXPECT_EQ(Sorted(Search(u"Enc", u"", &message)), Sorted(expected));
}

}  // namespace
