// Linux-only file-system behaviour: how host entries look through the
// Windows API, and the copy's "nothing lost" guarantee. On Windows the
// entries are the system's own and the copy is CopyFileW's, so none of this
// applies there (win_files_test.cpp has the Windows side).
#ifndef _WIN32

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

#include "discovery/drop.h"
#include "platform/platform.h"
#include "support/temp_drive.h"

namespace {

using tw::String;
using twtest::U8;

class PosixFiles : public twtest::TempDrive {
protected:
    // Every name in a host folder, hidden ones included.
    std::set<std::string> HostNames(std::u16string_view rel) {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(Host(rel))) names.insert(e.path().filename().string());
        return names;
    }

    std::set<String> SearchNames(const String& pattern, std::int32_t mask) {
        std::set<String> names;
        tw::TSearchRec rec;
        for (int r = tw::StartSearch(pattern, mask, rec); r == 0; r = tw::ContinueSearch(rec)) {
            if (rec.Name != u"." && rec.Name != u"..") names.insert(rec.Name);
        }
        return names;
    }

    std::int32_t AttrOf(const String& path) {
        tw::TSearchRec rec;
        if (tw::StartSearch(path, tw::faAnyFile, rec) != 0) return -1;
        return rec.Attr;
    }
};

TEST_F(PosixFiles, AttributesOfHostEntries) {
    Build(u"S1\\Folder\\ \n S1\\file.txt=x \n S1\\ro.txt=x");
    SetReadOnly(u"S1\\ro.txt", true);
    ASSERT_EQ(mkfifo(Host(u"S1\\pipe").c_str(), 0644), 0);
    ASSERT_EQ(symlink("Folder", Host(u"S1\\link").c_str()), 0);
    ASSERT_EQ(symlink("missing", Host(u"S1\\dangling").c_str()), 0);
    const struct {
        String rel;
        std::int32_t attr;
    } cases[] = {
        {u"S1\\Folder", tw::faDirectory},
        {u"S1\\file.txt", 0},
        {u"S1\\ro.txt", tw::faReadOnly},
        {u"S1\\pipe", tw::faSysFile},
        {u"S1\\link", tw::faDirectory},  // links are followed
        {u"S1\\dangling", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(AttrOf(Path(c.rel)), c.attr) << U8(c.rel);

    // Mask 16 leaves the system entry out; neither mask lists the dangling link.
    EXPECT_EQ(SearchNames(Path(u"S1\\*.*"), tw::faDirectory), (std::set<String>{u"Folder", u"file.txt", u"ro.txt", u"link"}));
    EXPECT_EQ(SearchNames(Path(u"S1\\*.*"), tw::faAnyFile),
              (std::set<String>{u"Folder", u"file.txt", u"ro.txt", u"link", u"pipe"}));
    SetReadOnly(u"S1\\ro.txt", false);
}

// Every host name has a Windows form that leads back to exactly its bytes:
// a GBK name as unzip writes it, Latin-1, a '\' or ':' inside a name. Such
// files are listed, found, read and copied to a target of the same name.
TEST_F(PosixFiles, EveryHostNameHasAWindowsFormThatLeadsBackToItsBytes) {
    Build(u"S1\\ok.txt \n S2\\");
    const std::string names[] = {"\xB4\xAB\xC6\xE6.txt", "caf\xE9.txt", "back\\slash.txt", "a:b.txt",
                                 "\xED\xB2\x80.txt" /* an encoded surrogate is not UTF-8 either */};
    // Made on the host directly: the fixture would take '\' for a folder separator.
    for (const auto& name : names) ASSERT_TRUE(std::ofstream(Host(u"S1") + "/" + name) << name);

    std::set<String> listed = SearchNames(Path(u"S1\\*.*"), tw::faAnyFile);
    EXPECT_EQ(listed.size(), std::size(names) + 1);
    for (const auto& name : names) {
        const String windows = tw::WindowsPathFromHost(Host(u"S1") + "/" + name);
        ASSERT_FALSE(windows.empty()) << name;
        EXPECT_EQ(windows.find_first_of(u"/:", 2), String::npos) << name;  // no separator, no second drive colon
        EXPECT_TRUE(listed.count(tw::NamePart(windows))) << name;
        EXPECT_EQ(tw::HostPathOf(windows), Host(u"S1") + "/" + name);
        EXPECT_TRUE(tw::IsFile(windows)) << name;

        const String target = Path(u"S2\\") + tw::NamePart(windows);
        ASSERT_NE(tw::CopyFileReplacing(windows, target), 0) << name;
        std::ifstream copied(Host(u"S2") + "/" + name);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copied), {}), name);
    }
    EXPECT_EQ(HostNames(u"S2").size(), std::size(names));

    // A lone surrogate that no host name produces leads nowhere.
    EXPECT_FALSE(tw::IsFile(Path(u"S1\\") + u"\xDC41.txt"));
    EXPECT_FALSE(tw::IsFile(Path(u"S1\\") + u"\xD800.txt"));
    // Nor does U+DC00: a NUL would cut the host name short, here to "ok.txt".
    EXPECT_FALSE(tw::IsFile(Path(u"S1\\ok.txt") + u"\xDC00"));
}

// A folder of a dropped tree may carry any host name, those Windows refuses
// in a path ('"', '<', '>', '|', control characters) included: its files are
// collected and the folder is made on the target under the same bytes.
TEST_F(PosixFiles, FoldersOfAnyHostNameAreMadeOnTheTarget) {
    Build(u"S1\\ \n S2\\");
    const std::string names[] = {"pipe|name", "say \"hi\"", "<tag>", "tab\tand\nline", "\xB4\xAB\xC6\xE6", "q?*"};
    for (const auto& name : names) {
        ASSERT_TRUE(std::filesystem::create_directory(Host(u"S1") + "/" + name));
        ASSERT_TRUE(std::ofstream(Host(u"S1") + "/" + name + "/f.txt") << name);
    }
    std::vector<String> files;
    EXPECT_EQ(tw::CollectFiles(Path(u"S1"), files), 0u);
    ASSERT_EQ(files.size(), std::size(names));
    for (const String& file : files) {
        const String target = Path(u"S2") + file.substr(Path(u"S1").size());
        SCOPED_TRACE(U8(target));
        ASSERT_NO_THROW(tw::EnsureDirectory(tw::FolderPart(target)));
        EXPECT_NE(tw::CopyFileReplacing(file, target), 0);
    }
    for (const auto& name : names) {
        std::ifstream copied(Host(u"S2") + "/" + name + "/f.txt");
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copied), {}), name);
    }
    EXPECT_EQ(HostNames(u"S2").size(), std::size(names));
}

TEST_F(PosixFiles, WildcardsMatchWithoutRegardToCase) {
    Build(u"S1\\Config.ini \n S1\\a.TXT \n S1\\b.txt \n S1\\README");
    const struct {
        String mask;
        std::set<String> expected;
    } cases[] = {
        {u"*", {u"Config.ini", u"a.TXT", u"b.txt", u"README"}},
        {u"*.*", {u"Config.ini", u"a.TXT", u"b.txt", u"README"}},
        {u"*.txt", {u"a.TXT", u"b.txt"}},
        {u"?.txt", {u"a.TXT", u"b.txt"}},
        {u"config.*", {u"Config.ini"}},
        {u"*.none", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(SearchNames(Path(u"S1\\" + c.mask), tw::faAnyFile), c.expected) << U8(c.mask);
}

TEST_F(PosixFiles, AbandonedSearchesCloseTheirFolders) {
    Build(u"S1\\a.txt \n S1\\b.txt");
    const auto openFiles = [] {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
        return n;
    };
    const std::size_t before = openFiles();
    for (int i = 0; i < 50; ++i) {
        tw::TSearchRec rec;
        ASSERT_EQ(tw::StartSearch(Path(u"S1\\*.*"), tw::faAnyFile, rec), 0);
        ASSERT_EQ(tw::StartSearch(Path(u"S1\\*.*"), tw::faAnyFile, rec), 0);  // restarting closes the first
    }
    EXPECT_EQ(openFiles(), before);
}

TEST_F(PosixFiles, OpenForReadingRefusesAPipeWithoutWaiting) {
    Build(u"S1\\");
    ASSERT_EQ(mkfifo(Host(u"S1\\pipe").c_str(), 0644), 0);
    EXPECT_THROW(tw::OpenForReading(Path(u"S1\\pipe")), tw::EFOpenError);
    EXPECT_EQ(tw::CopyFileReplacing(Path(u"S1\\pipe"), Path(u"S1\\copy")), 0);
    EXPECT_FALSE(Exists(u"S1\\copy"));
}

TEST_F(PosixFiles, CopyKeepsModeBitsAndWritesThroughALink) {
    Build(u"S1\\a.sh=#!/bin/sh \n S2\\real.sh=old");
    ASSERT_EQ(chmod(Host(u"S1\\a.sh").c_str(), 0750), 0);
    ASSERT_EQ(symlink("real.sh", Host(u"S2\\a.sh").c_str()), 0);

    ASSERT_NE(tw::CopyFileReplacing(Path(u"S1\\a.sh"), Path(u"S2\\a.sh")), 0);
    struct stat st {};
    ASSERT_EQ(lstat(Host(u"S2\\a.sh").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(u"S2\\real.sh"), "#!/bin/sh");
    ASSERT_EQ(stat(Host(u"S2\\real.sh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0750u);
}

TEST_F(PosixFiles, AReaderOfTheOldTargetKeepsTheOldContent) {
    Build(u"S1\\a.txt=new \n S2\\a.txt=old");
    const int fd = open(Host(u"S2\\a.txt").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_NE(tw::CopyFileReplacing(Path(u"S1\\a.txt"), Path(u"S2\\a.txt")), 0);
    char buffer[16] = {};
    EXPECT_EQ(read(fd, buffer, sizeof buffer), 3);
    EXPECT_STREQ(buffer, "old");
    close(fd);
    EXPECT_EQ(ReadFile(u"S2\\a.txt"), "new");
}

// A copy that fails part-way (here: the file-size limit, which holds for root
// too) reports failure, leaves the old target exactly as it was and leaves no
// temporary file behind.
TEST_F(PosixFiles, ACopyThatFailsPartWayLosesNothing) {
    std::string big(4 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
    const std::string old(100000, 'o');
    WriteFile(u"S1\\big.bin", big);
    WriteFile(u"S2\\big.bin", old);
    MakeDir(u"S3");

    for (const String folder : {u"S2", u"S3"}) {
        const std::set<std::string> before = HostNames(folder);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlimit limit{1 << 20, 1 << 20};
            signal(SIGXFSZ, SIG_IGN);
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
            _exit(tw::CopyFileReplacing(Path(u"S1\\big.bin"), Path(folder + u"\\big.bin")) == 0 ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 0) << U8(folder) << ": the copy did not report its failure";
        EXPECT_EQ(HostNames(folder), before) << U8(folder);
    }
    EXPECT_TRUE(ReadFile(u"S2\\big.bin") == old);

    // Without the limit the same copy goes through.
    ASSERT_NE(tw::CopyFileReplacing(Path(u"S1\\big.bin"), Path(u"S2\\big.bin")), 0);
    EXPECT_TRUE(ReadFile(u"S2\\big.bin") == big);
}

TEST_F(PosixFiles, EnsureDirectoryOnADriveThatCannotHoldFolders) {
    Build(u"file.txt=x");
    ASSERT_TRUE(tw::MapDrive(u"C:", Host(u"file.txt") + "/below"));
    try {
        tw::EnsureDirectory(u"C:\\Tidewell\\");
        ADD_FAILURE() << "no error";
    } catch (const tw::EInOutError& e) {
        EXPECT_EQ(e.Message(), tw::FromUtf8(std::strerror(ENOTDIR)) + u"\r\n[C:\\Tidewell\\]");
    }
    EXPECT_EQ(ReadFile(u"file.txt"), "x");
}

}  // namespace

#endif  // _WIN32
