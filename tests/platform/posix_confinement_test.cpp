// Linux-only: nothing outside a drive's folder is written, created, listed or
// read through links; our temporary files stay out of sight; kernel files and
// paths longer than the host allows in one piece are handled. Windows has no
// drive table and its links are the system's own, so none of this applies.
#ifndef _WIN32

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "discovery/drop.h"
#include "platform/platform.h"
#include "support/temp_drive.h"
#include "sync/sync_run.h"

namespace {

using tw::String;
using twtest::U8;
namespace fs = std::filesystem;

class Confinement : public twtest::TempDrive {
protected:
    void SetUp() override {
        TempDrive::SetUp();
        // A folder beside the drive's folder: outside the drive, inside the test's own.
        outside_ = fs::path(Host(u"")).parent_path() / "Outside";
        fs::create_directories(outside_ / "Dir");
        std::ofstream(outside_ / "secret.txt") << "outside";
        std::ofstream(outside_ / "Dir" / "inner.txt") << "inner";
    }

    std::set<std::string> OutsideNames() const {
        std::set<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(outside_)) names.insert(e.path().string());
        return names;
    }

    std::string OutsideText(const char* name) const {
        std::ifstream in(outside_ / name);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::set<String> Listed(const String& folder) {
        std::set<String> names;
        tw::TSearchRec rec;
        for (int r = tw::StartSearch(folder + u"\\*.*", tw::faAnyFile, rec); r == 0; r = tw::ContinueSearch(rec)) {
            if (rec.Name != u"." && rec.Name != u"..") names.insert(rec.Name);
        }
        return names;
    }

    fs::path outside_;
};

// Every way out of the drive, absolute and relative, to a file and to a
// folder: the copy is refused, nothing is created through the link, the
// entry is missing to every query and listing, and nothing outside changes.
TEST_F(Confinement, LinksLeadingOutsideTheDriveAreMissing) {
    Build(u"S1\\a.txt=new \n S2\\ \n S2\\In\\in.txt=in");
    const std::set<std::string> before = OutsideNames();
    const std::string out = outside_.string();
    const struct {
        const char* name;
        std::string target;
    } links[] = {
        {"abs_file.txt", out + "/secret.txt"},
        {"rel_file.txt", "../../Outside/secret.txt"},
        {"abs_dir", out + "/Dir"},
        {"rel_dir", "../../Outside/Dir"},
        {"up", "../.."},          // the drive's folder's parent
        {"root", "/"},
    };
    for (const auto& l : links) ASSERT_EQ(symlink(l.target.c_str(), (Host(u"S2") + "/" + l.name).c_str()), 0);
    // A link inside the drive that leads out through a second one.
    ASSERT_EQ(symlink("rel_dir", Host(u"S2\\chain").c_str()), 0);

    for (const char* name : {"abs_file.txt", "rel_file.txt"}) {
        const String path = Path(u"S2\\") + tw::FromUtf8(name);
        SCOPED_TRACE(name);
        EXPECT_EQ(tw::CopyFileReplacing(Path(u"S1\\a.txt"), path), 0);
        EXPECT_FALSE(tw::IsFile(path));
        EXPECT_THROW(tw::OpenForReading(path), tw::EFOpenError);
        tw::TSearchRec rec;
        EXPECT_NE(tw::StartSearch(path, tw::faAnyFile, rec), 0);
        // Nor can the outside file be copied in.
        EXPECT_EQ(tw::CopyFileReplacing(path, Path(u"S2\\In\\got.txt")), 0);
    }
    for (const char* name : {"abs_dir", "rel_dir", "up", "root", "chain"}) {
        const String dir = Path(u"S2\\") + tw::FromUtf8(name);
        SCOPED_TRACE(name);
        EXPECT_FALSE(tw::IsDirectory(dir));
        EXPECT_EQ(tw::CopyFileReplacing(Path(u"S1\\a.txt"), dir + u"\\new.txt"), 0);
        EXPECT_EQ(tw::CopyFileReplacing(Path(u"S1\\a.txt"), dir + u"\\inner.txt"), 0);
        // The link is the operator's and stays; nothing is made through it,
        // and the copy below it is then refused (counted, not a run's end).
        EXPECT_NO_THROW(tw::EnsureDirectory(dir + u"\\New\\"));
        EXPECT_NO_THROW(tw::EnsureDirectory(dir + u"\\"));
        EXPECT_TRUE(Listed(dir).empty());
    }
    EXPECT_EQ(Listed(Path(u"S2")), (std::set<String>{u"In"}));

    std::vector<String> collected;
    EXPECT_EQ(tw::CollectFiles(Path(u"S2"), collected), 0u);  // left out, not unreadable
    EXPECT_EQ(collected, std::vector<String>{Path(u"S2\\In\\in.txt")});

    EXPECT_EQ(OutsideNames(), before);
    EXPECT_EQ(OutsideText("secret.txt"), "outside");
    EXPECT_EQ(OutsideText("Dir/inner.txt"), "inner");
}

// A synchronisation into an installation whose folder is a link leading
// outside: that copy fails and is counted, and the run goes on to the next.
TEST_F(Confinement, ASyncBelowALinkLeadingOutsideCountsAFailureAndGoesOn) {
    Build(u"S1\\Mir200\\a.txt=new \n S2\\ \n S3\\Mir200\\");
    ASSERT_EQ(symlink(outside_.c_str(), Host(u"S2\\Mir200").c_str()), 0);
    const std::set<std::string> before = OutsideNames();

    struct Window : tw::TSyncHost {
        void Status(const String&) override {}
        void Progress(int) override {}
        void Drain() override {}
        void RefreshRow(int) override {}
    } window;
    const std::vector<String> dirs{Path(u"S2"), Path(u"S3")};
    const std::vector<String> dropped{Path(u"S1\\Mir200\\a.txt")};
    const std::vector<tw::TFileCompareInfo> infos(2);
    const tw::TSyncOutcome out = tw::RunSync({dirs, dirs, dropped, infos}, Path(u"S1\\"), window);

    EXPECT_TRUE(out.Completed);
    EXPECT_EQ(out.Succeeded, 1);
    EXPECT_EQ(out.Failed, 1);
    EXPECT_EQ(ReadFile(u"S3\\Mir200\\a.txt"), "new");
    EXPECT_EQ(OutsideNames(), before);
    EXPECT_FALSE(fs::exists(outside_ / "a.txt"));
}

// A hard link has no way out to follow: the copy replaces the drive's name
// and the other name, outside, keeps its contents.
TEST_F(Confinement, ACopyOverAHardLinkLeavesTheOtherNameAlone) {
    Build(u"S1\\a.txt=new \n S2\\");
    ASSERT_EQ(link((outside_ / "secret.txt").c_str(), Host(u"S2\\a.txt").c_str()), 0);
    ASSERT_NE(tw::CopyFileReplacing(Path(u"S1\\a.txt"), Path(u"S2\\a.txt")), 0);
    EXPECT_EQ(ReadFile(u"S2\\a.txt"), "new");
    EXPECT_EQ(OutsideText("secret.txt"), "outside");
}

// Links that stay inside the drive work as before, whatever their form,
// including an absolute one through the drive's folder as the system names it.
TEST_F(Confinement, LinksInsideTheDriveAreFollowed) {
    Build(u"S1\\a.txt=new \n S2\\Real\\old.txt=old");
    const std::string real = fs::canonical(Host(u"S2\\Real")).string();
    ASSERT_EQ(symlink(real.c_str(), Host(u"S2\\abs").c_str()), 0);
    ASSERT_EQ(symlink("../S2/./Real", Host(u"S2\\rel").c_str()), 0);
    ASSERT_EQ(symlink("Real/old.txt", Host(u"S2\\file.txt").c_str()), 0);

    EXPECT_TRUE(tw::IsDirectory(Path(u"S2\\abs")));
    EXPECT_TRUE(tw::IsFile(Path(u"S2\\REL\\OLD.TXT")));
    ASSERT_NE(tw::CopyFileReplacing(Path(u"S1\\a.txt"), Path(u"S2\\abs\\new.txt")), 0);
    EXPECT_EQ(ReadFile(u"S2\\Real\\new.txt"), "new");
    ASSERT_NE(tw::CopyFileReplacing(Path(u"S1\\a.txt"), Path(u"S2\\file.txt")), 0);
    EXPECT_EQ(ReadFile(u"S2\\Real\\old.txt"), "new");
    tw::EnsureDirectory(Path(u"S2\\rel\\Made\\"));
    EXPECT_TRUE(fs::is_directory(Host(u"S2\\Real\\Made")));
}

// The temporary file of a copy that was cut off (killed, power lost) is
// never listed, looked up or collected.
TEST_F(Confinement, OurTemporaryFilesAreNeverListed) {
    Build(u"S1\\a.txt=new \n S2\\b.txt");
    const std::string leftover = ".~tidewell-0a1b2c3d4e.partial";
    std::ofstream(Host(u"S2") + "/" + leftover) << "half";
    // A name of the operator's that merely looks alike stays visible.
    std::ofstream(Host(u"S2") + "/.~tidewell-notours.partial") << "user's";

    EXPECT_EQ(Listed(Path(u"S2")), (std::set<String>{u"b.txt", u".~tidewell-notours.partial"}));
    // Nor is it there for any other question, in any spelling: dropped by
    // hand from a file manager, it is a missing file, never copied on.
    for (const String& name : {tw::FromUtf8(leftover), tw::FromUtf8(".~TIDEWELL-0A1B2C3D4E.PARTIAL")}) {
        const String path = Path(u"S2\\") + name;
        SCOPED_TRACE(U8(name));
        tw::TSearchRec probe;
        EXPECT_NE(tw::StartSearch(path, tw::faAnyFile, probe), 0);
        EXPECT_FALSE(tw::IsFile(path));
        EXPECT_THROW(tw::OpenForReading(path), tw::EFOpenError);
        EXPECT_EQ(tw::CopyFileReplacing(path, Path(u"S1\\copy.txt")), 0);
    }
    EXPECT_FALSE(Exists(u"S1\\copy.txt"));
    std::vector<String> collected;
    tw::CollectFiles(Path(u"S2"), collected);
    EXPECT_EQ(collected.size(), 2u);
}

// Kernel files look regular and claim a size of 0, yet some never end: they
// are neither hashed nor copied. /proc/self/pagemap is reached through Z:.
TEST_F(Confinement, KernelFilesAreNeitherReadNorCopied) {
    Build(u"S1\\");
    EXPECT_THROW(tw::OpenForReading(u"Z:\\proc\\self\\pagemap"), tw::EFOpenError);
    EXPECT_THROW(tw::OpenForReading(u"Z:\\proc\\self\\status"), tw::EFOpenError);
    EXPECT_EQ(tw::CopyFileReplacing(u"Z:\\proc\\self\\pagemap", Path(u"S1\\copy")), 0);
    EXPECT_FALSE(Exists(u"S1\\copy"));
}

// A reader never goes past the size the file had when it was opened.
TEST_F(Confinement, AReadEndsAtTheSizeTheFileHadWhenOpened) {
    Build(u"S1\\grow.txt=12345");
    const auto stream = tw::OpenForReading(Path(u"S1\\grow.txt"));
    std::ofstream(Host(u"S1\\grow.txt"), std::ios::app) << "678";
    char buffer[64] = {};
    std::size_t total = 0;
    while (const std::size_t n = stream->Read(buffer + total, sizeof buffer - total)) total += n;
    EXPECT_EQ(std::string(buffer, total), "12345");
}

// Trees deeper than one host path can name (PATH_MAX) are built, copied
// into and listed; past the longest Windows path the entries are counted as
// unreadable, never silently dropped.
class DeepTree : public Confinement {
protected:
    void TearDown() override {
        // remove_all works by whole paths, which cannot reach this deep.
        RemoveBelow(AT_FDCWD, Host(u"Deep"));
        Confinement::TearDown();
    }

    static void RemoveBelow(int at, const std::string& name) {
        const int fd = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (fd < 0) {
            unlinkat(at, name.c_str(), 0);
            return;
        }
        std::vector<std::string> entries;
        if (DIR* dir = fdopendir(dup(fd))) {
            while (const dirent* e = readdir(dir)) {
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") entries.emplace_back(e->d_name);
            }
            closedir(dir);
        }
        for (const auto& e : entries) RemoveBelow(fd, e);
        close(fd);
        unlinkat(at, name.c_str(), AT_REMOVEDIR);
    }

    static String Level(int k) { return String(240, static_cast<char16_t>(u'a' + k % 26)); }
};

TEST_F(DeepTree, FoldersDeeperThanAHostPathAreMadeCopiedAndListed) {
    Build(u"S1\\a.txt=new \n Deep\\top.txt");
    String deep = Path(u"Deep");
    for (int k = 0; k < 24; ++k) deep += u"\\" + Level(k);  // about 5,800 bytes on the host
    ASSERT_GT(U8(deep).size(), static_cast<std::size_t>(PATH_MAX));

    tw::EnsureDirectory(deep + u"\\");
    EXPECT_TRUE(tw::IsDirectory(deep));
    ASSERT_NE(tw::CopyFileReplacing(Path(u"S1\\a.txt"), deep + u"\\f.txt"), 0);
    EXPECT_TRUE(tw::IsFile(deep + u"\\F.TXT"));
    EXPECT_TRUE(tw::IsSameFile(deep + u"\\f.txt", deep + u"\\.\\F.TXT"));
    EXPECT_FALSE(tw::IsSameFile(deep + u"\\f.txt", Path(u"S1\\a.txt")));

    std::vector<String> collected;
    EXPECT_EQ(tw::CollectFiles(Path(u"Deep"), collected), 0u);
    std::sort(collected.begin(), collected.end());
    EXPECT_EQ(collected, (std::vector<String>{deep + u"\\f.txt", Path(u"Deep\\top.txt")}));
}

// A listing keeps no folder open per level: a tree deeper than the number of
// files the process may have open is listed whole.
TEST_F(DeepTree, ATreeDeeperThanTheOpenFileLimitIsListedWhole) {
    String deep = u"Deep";
    for (int k = 0; k < 150; ++k) deep += u"\\d";
    Build(u"Deep\\top.txt \n" + deep + u"\\f.txt");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{64, 64};
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(3);
        std::vector<String> list;
        const std::size_t unreadable = tw::CollectFiles(Path(u"Deep"), list);
        _exit(unreadable != 0 ? 1 : list.size() != 2 ? 2 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: entries counted as unreadable, 2: files missing";
}

TEST_F(DeepTree, EntriesPastTheLongestWindowsPathAreCountedAsUnreadable) {
    Build(u"Deep\\top.txt");
    // Made on the host level by level: 140 names of 240 bytes.
    int fd = open(Host(u"Deep").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    String deep = Path(u"Deep");
    for (int k = 0; k < 140; ++k) {
        const std::string name = U8(Level(k));
        ASSERT_EQ(mkdirat(fd, name.c_str(), 0777), 0);
        const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        deep += u"\\" + Level(k);
        if (k == 100 || k == 139) close(openat(fd, "f.txt", O_WRONLY | O_CREAT, 0644));
    }
    close(fd);

    std::vector<String> collected;
    EXPECT_GT(tw::CollectFiles(Path(u"Deep"), collected), 0u);
    std::sort(collected.begin(), collected.end());
    ASSERT_EQ(collected.size(), 2u);  // the file at level 100, which a Windows path still reaches, and top.txt
    EXPECT_EQ(collected[1], Path(u"Deep\\top.txt"));
    EXPECT_LE(collected[0].size(), 32767u);
    EXPECT_TRUE(tw::IsFile(collected[0]));
}

}  // namespace

#endif
