// The drop logic: base server prefix, base root, recursive file listing.
#include "discovery/drop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/temp_drive.h"

using tw::String;
using twtest::U8;
using twtest::W;

namespace {

// Replaces a leading "D:" with the drive under test (another letter on Windows).
String OnDrive(const String& drive, const String& path) {
    if (path.rfind(u"D:", 0) == 0) return drive + path.substr(2);
    return path;
}

std::vector<std::string> Utf8(const std::vector<String>& list) {
    std::vector<std::string> out;
    for (const auto& s : list) out.push_back(U8(s));
    return out;
}

// The names one folder lists, in the platform's order ("." and ".." left out).
std::vector<String> Names(const String& folder) {
    std::vector<String> names;
    tw::TSearchRec rec;
    if (tw::StartSearch(tw::WithTrailingBackslash(folder) + u"*.*", tw::faAnyFile, rec) != 0) {
        return names;
    }
    do {
        if (rec.Name != u"." && rec.Name != u"..") names.push_back(rec.Name);
    } while (tw::ContinueSearch(rec) == 0);
    tw::EndSearch(rec);
    return names;
}

}  // namespace

TEST(FindBaseServerPrefix, EarliestCaseSensitiveOccurrenceWins) {
    struct Case {
        const char16_t* path;
        const char16_t* prefix;
    };
    const Case cases[] = {
        {u"D:\\Servers\\S1\\Mir200\\Envir\\a.txt", u"D:\\Servers\\S1\\"},
        // Earlier in the path beats earlier in the table.
        {u"D:\\S1\\LoginGate\\x\\Mir200\\y.txt", u"D:\\S1\\"},
        // A substring match ends the prefix inside a folder name.
        {u"D:\\S1\\OldMir200\\a.txt", u"D:\\S1\\Old\\"},
        {u"D:\\S1\\mir200\\a.txt", u""},
        {u"D:\\a.txt", u""},
        // LogServer and LoginSrv both start with "Log": only exact names count.
        {u"D:\\S1\\LogServer\\LoginSrv\\a.txt", u"D:\\S1\\"},
        {u"D:\\S1\\RunGate\\a.txt", u"D:\\S1\\"},
        {u"D:\\S1\\SelGate\\DBServer\\a.txt", u"D:\\S1\\"},
        // A match at position 1 leaves the prefix empty.
        {u"Mir200\\a.txt", u""},
        // A prefix that already ends in '\' gets no second one.
        {u"D:\\S1\\\\Mir200\\a.txt", u"D:\\S1\\\\"},
        {u"\\\\srv\\share\\S1\\Mir200\\a.txt", u"\\\\srv\\share\\S1\\"},
        {u"", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(U8(tw::FindBaseServerPrefix(c.path)), U8(c.prefix)) << U8(c.path);
    }
}

class DropTest : public twtest::TempDrive {};

// The edge-case table: every path exists, on D: or on \\srv\share.
TEST_F(DropTest, BaseRootTable) {
    Build(uR"(
        Servers\S1\Mir200\Envir\a.txt
        S1\LoginGate\x\Mir200\y.txt
        S1\OldMir200\a.txt
        S1\mir200\a.txt
        a.txt
    )");
    struct Case {
        const char16_t* path;
        bool folder;
        const char16_t* prefix;
        const char16_t* basePath;
        const char16_t* baseRootPath;
        const char16_t* baseRoot;
    };
    const Case cases[] = {
        {u"D:\\Servers\\S1\\Mir200\\Envir\\a.txt", false, u"D:\\Servers\\S1\\",
         u"D:\\Servers\\S1\\Mir200\\Envir\\", u"D:\\Servers\\", u"Servers"},
        // The folder part of the file, whatever the prefix says.
        {u"D:\\S1\\LoginGate\\x\\Mir200\\y.txt", false, u"D:\\S1\\",
         u"D:\\S1\\LoginGate\\x\\Mir200\\", u"D:\\S1\\", u"S1"},
        {u"D:\\S1\\OldMir200\\a.txt", false, u"D:\\S1\\Old\\", u"D:\\S1\\OldMir200\\", u"D:\\S1\\",
         u"S1"},
        {u"D:\\S1\\mir200\\a.txt", false, u"", u"D:\\S1\\mir200\\", u"D:\\S1\\", u"S1"},
        {u"D:\\Servers\\S1\\Mir200\\Envir", true, u"D:\\Servers\\S1\\",
         u"D:\\Servers\\S1\\Mir200\\Envir\\", u"D:\\Servers\\", u"Servers"},
        {u"D:\\a.txt", false, u"", u"D:\\", u"", u""},
        {u"D:\\", true, u"", u"D:\\", u"", u""},
    };
    for (const Case& c : cases) {
        const String path = OnDrive(Drive(), c.path);
        SCOPED_TRACE(U8(path));
        EXPECT_EQ(tw::IsDirectory(path), c.folder);
        EXPECT_EQ(U8(tw::FindBaseServerPrefix(path)), U8(OnDrive(Drive(), c.prefix)));
        const tw::TBaseRoot root = tw::ComputeBaseRoot(path, tw::DrivePart(path), c.folder);
        EXPECT_EQ(U8(root.BasePath), U8(OnDrive(Drive(), c.basePath)));
        EXPECT_EQ(U8(root.DroppedFolderPath),
                  U8(tw::WithoutTrailingBackslash(OnDrive(Drive(), c.basePath))));
        EXPECT_EQ(U8(root.BaseRootPath), U8(OnDrive(Drive(), c.baseRootPath)));
        EXPECT_EQ(U8(root.BaseRoot), U8(c.baseRoot));
    }
}

// Only the Linux drive table can put a share on a test folder; on Windows
// shares are real, and the same rule is covered by the drive-letter cases.
#ifndef _WIN32
TEST_F(DropTest, BaseRootOnANetworkShare) {
    const std::filesystem::path host =
        std::filesystem::path(Host(u"")).parent_path() / "share";  // removed with the drive
    std::filesystem::create_directories(host / "S1" / "Mir200");
    ASSERT_TRUE(tw::MapDrive(u"\\\\srv\\share", host.string()));
    const String path = u"\\\\srv\\share\\S1\\Mir200\\a.txt";
    std::ofstream(host / "S1" / "Mir200" / "a.txt").put('x');
    ASSERT_TRUE(tw::IsFile(path));
    EXPECT_EQ(U8(tw::FindBaseServerPrefix(path)), "\\\\srv\\share\\S1\\");
    const tw::TBaseRoot root = tw::ComputeBaseRoot(path, tw::DrivePart(path), false);
    EXPECT_EQ(U8(root.BasePath), "\\\\srv\\share\\S1\\Mir200\\");
    EXPECT_EQ(U8(root.DroppedFolderPath), "\\\\srv\\share\\S1\\Mir200");
    EXPECT_EQ(U8(root.BaseRootPath), "\\\\srv\\share\\S1\\");
    EXPECT_EQ(U8(root.BaseRoot), "S1");
}
#endif  // _WIN32

TEST_F(DropTest, BaseRootOfAPathThatIsNeitherFileNorFolderIsEmpty) {
    const String path = Path(u"S1\\Mir200\\missing.txt");
    const tw::TBaseRoot root = tw::ComputeBaseRoot(path, Drive(), false);
    EXPECT_EQ(root.BasePath, u"");
    EXPECT_EQ(root.DroppedFolderPath, u"");
    EXPECT_EQ(root.BaseRootPath, u"");
    EXPECT_EQ(root.BaseRoot, u"");
}

TEST_F(DropTest, CollectFilesIsDepthFirstAndIncludesHiddenEntries) {
    Build(uR"(
        F\a.txt
        F\.hidden.txt
        F\.HiddenDir\h.txt
        F\Sub\b.txt
        F\Sub\Deep\c.txt
        F\Sub\Empty\
        F\z.txt
    )");
    SetHidden(u"F\\.hidden.txt");
    SetHidden(u"F\\.HiddenDir");

    // Siblings come in the platform's order; a subfolder's files stand where
    // the subfolder was met among them.
    std::vector<String> expected;
    for (const String& name : Names(Path(u"F"))) {
        if (name == u"Sub") {
            for (const String& inner : Names(Path(u"F\\Sub"))) {
                if (inner == u"Deep") {
                    expected.push_back(Path(u"F\\Sub\\Deep\\c.txt"));
                } else if (inner != u"Empty") {
                    expected.push_back(Path(u"F\\Sub\\") + inner);
                }
            }
        } else if (name == u".HiddenDir") {
            expected.push_back(Path(u"F\\.HiddenDir\\h.txt"));
        } else {
            expected.push_back(Path(u"F\\") + name);
        }
    }
    ASSERT_EQ(expected.size(), 6u);

    std::vector<String> list{u"kept"};
    tw::CollectFiles(Path(u"F"), list);  // appends
    expected.insert(expected.begin(), u"kept");
    EXPECT_EQ(Utf8(list), Utf8(expected));

    // A trailing backslash is not doubled.
    std::vector<String> again;
    tw::CollectFiles(Path(u"F\\"), again);
    EXPECT_EQ(Utf8(again), Utf8(std::vector<String>(expected.begin() + 1, expected.end())));
}

TEST_F(DropTest, CollectFilesOfEmptyOrMissingFoldersAddsNothing) {
    Build(uR"(
        Empty\A\
        Empty\B\C\
    )");
    for (const String& folder : {Path(u"Empty"), Path(u"Missing"), Path(u"Empty\\A")}) {
        std::vector<String> list;
        tw::CollectFiles(folder, list);
        EXPECT_TRUE(list.empty()) << U8(folder);
    }
}

TEST_F(DropTest, CollectFilesOfTheDriveRootListsEveryFile) {
    Build(uR"(
        a.txt
        S1\Mir200\b.txt
    )");
    std::vector<String> list;
    tw::CollectFiles(Drive() + u"\\", list);
    std::sort(list.begin(), list.end());
    EXPECT_EQ(Utf8(list), Utf8({Path(u"S1\\Mir200\\b.txt"), Path(u"a.txt")}));
}

#ifndef _WIN32
// Links to folders are followed, but each real folder is listed once: a link
// back to a folder being listed further up (a cycle) adds nothing, and
// neither does a second way to a folder already listed.
TEST_F(DropTest, CollectFilesFollowsLinksButStopsAtACycle) {
    Build(uR"(
        F\a.txt
        F\Sub\b.txt
        Other\o.txt
    )");
    namespace fs = std::filesystem;
    fs::create_directory_symlink(Host(u"F"), Host(u"F\\Sub\\BackToF"));
    fs::create_directory_symlink(Host(u"F\\Sub"), Host(u"F\\Sub\\Self"));
    fs::create_directory_symlink(Host(u"Other"), Host(u"F\\Sub\\ToOther"));

    std::vector<String> list;
    tw::CollectFiles(Path(u"F"), list);
    std::sort(list.begin(), list.end());
    EXPECT_EQ(Utf8(list), Utf8({Path(u"F\\Sub\\ToOther\\o.txt"), Path(u"F\\Sub\\b.txt"),
                                Path(u"F\\a.txt")}));

    // Dropping the drive root: the link back to it is a cycle too.
    fs::create_directory_symlink(Host(u""), Host(u"Other\\Root"));
    std::vector<String> all;
    tw::CollectFiles(Drive() + u"\\", all);
    EXPECT_EQ(all.size(), 3u) << ::testing::PrintToString(Utf8(all));  // o once, by whichever way came first
}

// Two links from every level to the next: a walk that follows each link
// would list 2^n - 1 folders; each real folder is listed once.
TEST_F(DropTest, CollectFilesListsEachRealFolderOnceWhateverTheLinks) {
    constexpr int kLevels = 14;
    namespace fs = std::filesystem;
    for (int k = 0; k < kLevels; ++k) {
        const std::u16string level = u"Fan\\L" + tw::FromUtf8(std::to_string(k));
        Build(level + u"\\f.txt");
        if (k + 1 < kLevels) {
            const std::string next = "../L" + std::to_string(k + 1);
            fs::create_directory_symlink(next, Host(level + u"\\a"));
            fs::create_directory_symlink(next, Host(level + u"\\b"));
        }
    }
    std::vector<String> list;
    EXPECT_EQ(tw::CollectFiles(Path(u"Fan\\L0"), list), 0u);
    EXPECT_EQ(list.size(), static_cast<std::size_t>(kLevels));
}

// Real subfolders and links to folders elsewhere side by side, two levels
// deep: whichever comes first, the listing finds its way back to the folder
// it came from and lists every file under the path it was found by.
TEST_F(DropTest, CollectFilesMixesLinkedAndRealSubfolders) {
    namespace fs = std::filesystem;
    std::vector<String> expected;
    for (int k = 0; k < 6; ++k) {
        const String n = tw::FromUtf8(std::to_string(k));
        Build(u"P\\R" + n + u"\\Inner\\r.txt \n Q" + n + u"\\q.txt");
        fs::create_directory_symlink("../../Q" + std::to_string(k), Host(u"P\\R" + n + u"\\L"));
        fs::create_directory_symlink("../Q" + std::to_string(k), Host(u"P\\L" + n));
        expected.push_back(Path(u"P\\R" + n + u"\\Inner\\r.txt"));
    }
    std::vector<String> list;
    EXPECT_EQ(tw::CollectFiles(Path(u"P"), list), 0u);
    ASSERT_EQ(list.size(), 12u) << ::testing::PrintToString(Utf8(list));
    std::sort(list.begin(), list.end());
    std::vector<String> real;
    std::vector<String> linked;
    for (const String& p : list) (p.find(u"q.txt") == String::npos ? real : linked).push_back(p);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Utf8(real), Utf8(expected));
    // Each Qk once, by one of its two links.
    for (int k = 0; k < 6; ++k) {
        const String n = tw::FromUtf8(std::to_string(k));
        const auto count = std::count_if(linked.begin(), linked.end(), [&](const String& p) {
            return p == Path(u"P\\L" + n + u"\\q.txt") || p == Path(u"P\\R" + n + u"\\L\\q.txt");
        });
        EXPECT_EQ(count, 1) << k;
    }
}
#endif
