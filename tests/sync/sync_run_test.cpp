// The run loop with a fake window: order of the steps, counts, progress,
// refreshed rows, aborts, a selection changed from inside a drain, and
// files copied onto themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "support/temp_drive.h"
#include "sync/sync_run.h"

namespace {

using tw::String;
using twtest::U8;

// Records every call as one line; a test can act from inside a drain.
class FakeHost : public tw::TSyncHost {
public:
    std::vector<std::string> log;
    std::vector<int> positions;
    std::vector<int> refreshed;
    std::function<void(int drain)> onDrain;
    std::function<void(int index)> onRefresh;
    int drains = 0;
    int stopAfter = -1;

    void Status(const String& text) override { log.push_back(U8(text)); }
    void Progress(int position) override {
        positions.push_back(position);
        log.push_back("progress " + std::to_string(position));
    }
    void Drain() override {
        log.push_back("drain");
        ++drains;
        if (onDrain) onDrain(drains);
    }
    void RefreshRow(int index) override {
        refreshed.push_back(index);
        log.push_back("refresh " + std::to_string(index));
        if (onRefresh) onRefresh(index);
    }
    bool StopRequested() override { return drains == stopAfter; }
};

class SyncRunTest : public twtest::TempDrive {
protected:
    std::vector<String> selected, sources, dropped;
    std::vector<tw::TFileCompareInfo> infos;
    String prefix;
    FakeHost host;

    // Installations S1..Sn below the drive root; S1 holds the dropped files.
    void Installations(int n) {
        for (int i = 1; i <= n; ++i) {
            const String dir = u"S" + tw::FromUtf8(std::to_string(i));
            MakeDir(dir + u"\\Mir200\\");
            sources.push_back(Path(dir));
        }
        selected = sources;
        infos.assign(sources.size(), {});
        prefix = Path(u"S1\\");
    }
    tw::TSyncOutcome Run() { return tw::RunSync({selected, sources, dropped, infos}, prefix, host); }
    std::string Target(int installation, std::u16string_view rel) const {
        return U8(Path(u"S" + tw::FromUtf8(std::to_string(installation)) + u"\\" + String(rel)));
    }
};

TEST_F(SyncRunTest, PositionsAndOrderForEachShape) {
    struct Case {
        int files, dirs;
        std::vector<int> positions;
    };
    const Case cases[] = {
        {1, 1, {100, 100}},
        {1, 3, {33, 66, 100, 100}},
        {2, 3, {16, 33, 50, 66, 83, 100, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.files) + " x " + std::to_string(c.dirs));
        TearDown();
        SetUp();
        selected.clear(), sources.clear(), dropped.clear();
        host = FakeHost{};
        Installations(c.dirs + 1);
        selected.erase(selected.begin());  // not into the source itself
        for (int f = 0; f < c.files; ++f) {
            const String rel = u"Mir200\\f" + tw::FromUtf8(std::to_string(f)) + u".txt";
            WriteFile(u"S1\\" + rel, "new " + std::to_string(f));
            dropped.push_back(Path(u"S1\\" + rel));
        }

        const tw::TSyncOutcome out = Run();
        EXPECT_TRUE(out.Completed);
        EXPECT_EQ(out.Succeeded, c.files * c.dirs);
        EXPECT_EQ(out.Failed, 0);
        EXPECT_EQ(host.positions, c.positions);

        // Directories outer, files inner; per file: refresh (first file
        // only), progress, status, drain; then the counts and 100.
        std::vector<std::string> want;
        int k = 0;
        for (int d = 0; d < c.dirs; ++d) {
            for (int f = 0; f < c.files; ++f) {
                const String rel = u"Mir200\\f" + tw::FromUtf8(std::to_string(f)) + u".txt";
                if (f == 0) want.push_back("refresh " + std::to_string(d + 1));
                want.push_back("progress " + std::to_string(c.positions[k++]));
                want.push_back("同步中: " + U8(tw::NamePart(rel)) + " -> " + Target(d + 2, rel));
                want.push_back("drain");
                EXPECT_EQ(ReadFile(u"S" + tw::FromUtf8(std::to_string(d + 2)) + u"\\" + rel),
                          "new " + std::to_string(f));
            }
        }
        want.push_back("同步完成！成功: " + std::to_string(c.files * c.dirs) + ", 失败: 0");
        want.push_back("progress 100");
        EXPECT_EQ(host.log, want);
    }
}

// Refused copies count as failures and the run goes on; the refused
// target, the missing source and the read-only file keep what they held.
TEST_F(SyncRunTest, RefusedCopiesAreCountedAndChangeNothing) {
    Installations(3);
    Build(uR"(
        S1\Mir200\a.txt=new a
        S1\Mir200\b.txt=new b
        S2\Mir200\a.txt=old a
        S3\Mir200\gone.txt=kept
    )");
    SetReadOnly(u"S2\\Mir200\\a.txt", true);
    dropped = {Path(u"S1\\Mir200\\a.txt"), Path(u"S1\\Mir200\\gone.txt"), Path(u"S1\\Mir200\\b.txt")};
    selected = {sources[1], sources[2]};

    const tw::TSyncOutcome out = Run();
    // S2: a refused (read-only), gone failed, b copied; S3: a, b copied, gone failed.
    EXPECT_EQ(out.Succeeded, 3);
    EXPECT_EQ(out.Failed, 3);
    EXPECT_EQ(host.log.end()[-2], "同步完成！成功: 3, 失败: 3");
    EXPECT_EQ(ReadFile(u"S2\\Mir200\\a.txt"), "old a");
    EXPECT_EQ(ReadFile(u"S2\\Mir200\\b.txt"), "new b");
    EXPECT_EQ(ReadFile(u"S3\\Mir200\\a.txt"), "new a");
    EXPECT_EQ(ReadFile(u"S3\\Mir200\\gone.txt"), "kept");
    EXPECT_FALSE(Exists(u"S2\\Mir200\\gone.txt"));
    // Only S3 received the first file, so only its row is recomputed.
    EXPECT_EQ(host.refreshed, std::vector<int>{2});
}

TEST_F(SyncRunTest, MissingFoldersAreCreatedOnTheWay) {
    Installations(2);
    Build(uR"(S1\Mir200\Envir\New\m.txt=map)");
    dropped = {Path(u"S1\\Mir200\\Envir\\New\\m.txt")};
    selected = {sources[1]};
    const tw::TSyncOutcome out = Run();
    EXPECT_EQ(out.Succeeded, 1);
    EXPECT_EQ(ReadFile(u"S2\\Mir200\\Envir\\New\\m.txt"), "map");
}

// A file where a folder must go ends the whole run with the system's text;
// earlier copies stay and nothing later is attempted.
TEST_F(SyncRunTest, FolderThatCannotBeMadeAbortsTheRun) {
    Installations(4);
    Build(uR"(
        S1\Mir200\a.txt=new a
        S1\Mir200\Envir\b.txt=new b
        S3\Mir200\Envir=a file in the way
    )");
    dropped = {Path(u"S1\\Mir200\\a.txt"), Path(u"S1\\Mir200\\Envir\\b.txt")};
    selected = {sources[1], sources[2], sources[3]};

    const tw::TSyncOutcome out = Run();
    EXPECT_TRUE(out.Aborted);
    EXPECT_FALSE(out.Completed);
    EXPECT_EQ(out.Succeeded, 3);  // S2: a, b; S3: a
    ASSERT_FALSE(host.log.empty());
    EXPECT_EQ(host.log.back().rfind("同步出错: ", 0), 0u) << host.log.back();
    EXPECT_GT(host.log.back().size(), std::string("同步出错: ").size());
    for (const std::string& line : host.log) EXPECT_EQ(line.find("同步完成"), std::string::npos);
    EXPECT_EQ(host.positions.back(), 50);  // 3 of 6
    EXPECT_EQ(ReadFile(u"S3\\Mir200\\a.txt"), "new a");
    EXPECT_EQ(ReadFile(u"S3\\Mir200\\Envir"), "a file in the way");
    EXPECT_FALSE(Exists(u"S4\\Mir200\\a.txt"));
}

// No server folder in the dropped path: every file lands in the top folder
// by its name, so the later a.txt replaces the earlier and both count.
TEST_F(SyncRunTest, PrefixlessFolderDropOverwritesAndCountsBoth) {
    Build(uR"(
        drop\x\a.txt=first
        drop\y\a.txt=second
        T1\
        T2\
    )");
    sources = {Path(u"T1"), Path(u"T2")};
    selected = sources;
    infos.assign(2, {});
    prefix.clear();
    dropped = {Path(u"drop\\x\\a.txt"), Path(u"drop\\y\\a.txt")};

    const tw::TSyncOutcome out = Run();
    EXPECT_EQ(out.Succeeded, 4);
    EXPECT_EQ(out.Failed, 0);
    EXPECT_EQ(ReadFile(u"T1\\a.txt"), "second");
    EXPECT_EQ(ReadFile(u"T2\\a.txt"), "second");
    // Both copies land on the first file's counterpart: both refresh.
    EXPECT_EQ(host.refreshed, (std::vector<int>{0, 0, 1, 1}));
    EXPECT_EQ(host.log[2], "同步中: a.txt -> " + U8(Path(u"T1\\a.txt")));
}

// Rows are recomputed only after copies that can change them, and only for
// a directory that has a row.
TEST_F(SyncRunTest, RefreshOnlyWhenTheRowCanChange) {
    Installations(3);
    Build(uR"(
        S1\Mir200\a.txt=a
        S1\Mir200\b.txt=b
        S1\config.INI=[Config]|GameName=G
    )");
    dropped = {Path(u"S1\\Mir200\\a.txt"), Path(u"S1\\Mir200\\b.txt"), Path(u"S1\\config.INI")};
    // S2 in another spelling still finds its row; the record list is one
    // short, so S3 has none to refresh.
    String s2 = sources[1];
    s2[s2.size() - 2] = u's';
    selected = {s2, sources[2], Path(u"elsewhere")};
    MakeDir(u"elsewhere\\");
    infos.resize(2);

    const tw::TSyncOutcome out = Run();
    EXPECT_EQ(out.Succeeded, 9);
    // S2: a and Config.ini; S3 is beyond the records; elsewhere has no row.
    EXPECT_EQ(host.refreshed, (std::vector<int>{1, 1}));
}

// A failure inside the refresh counts the copy twice: once as a success,
// once as a failure; the run goes on.
TEST_F(SyncRunTest, FailingRefreshCountsInBoth) {
    Installations(3);
    Build(uR"(S1\Mir200\a.txt=a)");
    dropped = {Path(u"S1\\Mir200\\a.txt")};
    selected = {sources[1], sources[2]};
    host.onRefresh = [](int index) {
        if (index == 1) throw tw::Exception(u"hash failed");
    };
    const tw::TSyncOutcome out = Run();
    EXPECT_TRUE(out.Completed);
    EXPECT_EQ(out.Succeeded, 2);
    EXPECT_EQ(out.Failed, 1);
    EXPECT_EQ(host.log.end()[-2], "同步完成！成功: 2, 失败: 1");
}

// Ticks changed from inside a drain: the run reads the selection afresh.
TEST_F(SyncRunTest, SelectionChangedDuringTheRun) {
    struct Case {
        const char* what;
        std::function<void(std::vector<String>&, const std::vector<String>&)> change;
        std::vector<std::string> served;  // installations that got the file
        bool aborted;
        std::vector<int> positions;
    };
    const Case cases[] = {
        // S2 unticked after the first directory: S3 moves up to position 0
        // and is skipped, S4 is served, and then the list is shorter than
        // the count taken at the start.
        {"untick the first", [](auto& sel, auto&) { sel.erase(sel.begin()); }, {"S2", "S4"}, true, {33, 100}},
        // The last one unticked: the run ends before it.
        {"untick the last", [](auto& sel, auto&) { sel.pop_back(); }, {"S2", "S3"}, true, {33, 100}},
        // A directory ticked in front: S2 is served twice, S4 never (the
        // directory count stays three).
        {"tick one in front",
         [](auto& sel, auto& all) { sel.insert(sel.begin(), all[0]); },
         {"S2", "S3"}, false, {33, 50, 75}},
        {"untick all", [](auto& sel, auto&) { sel.clear(); }, {"S2"}, true, {33}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        sources.clear(), dropped.clear();
        host = FakeHost{};
        Installations(4);
        Build(uR"(S1\Mir200\a.txt=new)");
        dropped = {Path(u"S1\\Mir200\\a.txt")};
        selected = {sources[1], sources[2], sources[3]};
        host.onDrain = [&](int drain) {
            if (drain == 1) c.change(selected, sources);
        };

        const tw::TSyncOutcome out = Run();
        EXPECT_EQ(out.Aborted, c.aborted);
        EXPECT_EQ(host.positions, c.aborted ? c.positions : [&] {
            auto p = c.positions;
            p.push_back(100);
            return p;
        }());
        if (c.aborted) {
            EXPECT_EQ(host.log.back().rfind("同步出错: 同步期间选中的目录减少为 ", 0), 0u) << host.log.back();
        }
        for (const char* dir : {"S2", "S3", "S4"}) {
            const bool want = std::find(c.served.begin(), c.served.end(), dir) != c.served.end();
            EXPECT_EQ(Exists(tw::FromUtf8(dir) + u"\\Mir200\\a.txt"), want) << dir;
        }
    }
}

// Everything unticked while a directory still has files to take: they are
// still copied there, the bar keeps its place (there is no total), and the
// run ends before the next directory.
TEST_F(SyncRunTest, SelectionEmptiedInsideADirectory) {
    Installations(3);
    Build(uR"(
        S1\Mir200\a.txt=a
        S1\Mir200\b.txt=b
    )");
    dropped = {Path(u"S1\\Mir200\\a.txt"), Path(u"S1\\Mir200\\b.txt")};
    selected = {sources[1], sources[2]};
    host.onDrain = [&](int drain) {
        if (drain == 1) selected.clear();
    };
    const tw::TSyncOutcome out = Run();
    EXPECT_TRUE(out.Aborted);
    EXPECT_EQ(out.Succeeded, 2);
    EXPECT_EQ(host.positions, std::vector<int>{25});
    EXPECT_EQ(ReadFile(u"S2\\Mir200\\b.txt"), "b");
    EXPECT_FALSE(Exists(u"S3\\Mir200\\a.txt"));
    EXPECT_EQ(host.log.back(), "同步出错: 同步期间选中的目录减少为 0 个，第 2 个目录已不在选择中");
}

// The installation the files came from is ticked too: each file is its own
// counterpart there, counts as copied and is left exactly as it was.
TEST_F(SyncRunTest, SourceInstallationIsLeftUntouched) {
    Installations(2);
    Build(uR"(
        S1\Mir200\a.txt=original a
        S1\Mir200\b.txt=original b
        S1\Mir200\Envir\
    )");
    // A folder dropped after the files is listed like a file; it is its own
    // counterpart in S1, but a folder is never copied.
    dropped = {Path(u"S1\\Mir200\\a.txt"), Path(u"S1\\Mir200\\b.txt"), Path(u"S1\\Mir200\\Envir")};
    // The same installation reached through another spelling as well
    // (letter case on Linux, where the drive table folds it; Wine folds it
    // only now and then).
#ifdef _WIN32
    const String other = sources[0] + u"\\.";
#else
    String other = sources[0];
    other[other.size() - 2] = u's';
#endif
    selected = {sources[0], other, sources[1]};
    const std::filesystem::file_time_type before = std::filesystem::last_write_time(Host(u"S1\\Mir200\\a.txt"));
#ifndef _WIN32
    // Not even replaced by an equal copy: the very same file stays.
    struct stat st {};
    ASSERT_EQ(stat(Host(u"S1\\Mir200\\a.txt").c_str(), &st), 0);
    const ino_t inode = st.st_ino;
#endif

    const tw::TSyncOutcome out = Run();
    EXPECT_EQ(out.Succeeded, 6);
    EXPECT_EQ(out.Failed, 3);
    EXPECT_EQ(ReadFile(u"S1\\Mir200\\a.txt"), "original a");
    EXPECT_EQ(ReadFile(u"S1\\Mir200\\b.txt"), "original b");
    EXPECT_EQ(std::filesystem::last_write_time(Host(u"S1\\Mir200\\a.txt")), before);
#ifndef _WIN32
    ASSERT_EQ(stat(Host(u"S1\\Mir200\\a.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_ino, inode);
#endif
    EXPECT_EQ(ReadFile(u"S2\\Mir200\\b.txt"), "original b");
    EXPECT_FALSE(Exists(u"S2\\Mir200\\Envir"));
    // Nothing but the two files and the folder in the source folder (no
    // temporary left).
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(Host(u"S1\\Mir200"))) ++entries;
    EXPECT_EQ(entries, 3);
}

// The window asks to stop (it is being closed): the run ends after the file
// it has copied, with no completion message.
TEST_F(SyncRunTest, StopAfterTheCurrentFile) {
    Installations(3);
    Build(uR"(
        S1\Mir200\a.txt=a
        S1\Mir200\b.txt=b
    )");
    dropped = {Path(u"S1\\Mir200\\a.txt"), Path(u"S1\\Mir200\\b.txt")};
    selected = {sources[1], sources[2]};
    host.stopAfter = 1;
    const tw::TSyncOutcome out = Run();
    EXPECT_TRUE(out.Stopped);
    EXPECT_FALSE(out.Completed);
    EXPECT_EQ(out.Succeeded, 1);
    EXPECT_EQ(host.log.back(), "drain");
    EXPECT_TRUE(Exists(u"S2\\Mir200\\a.txt"));
    EXPECT_FALSE(Exists(u"S2\\Mir200\\b.txt"));
    EXPECT_FALSE(Exists(u"S3\\Mir200\\a.txt"));
}

TEST(SyncMessages, Texts) {
    EXPECT_EQ(U8(tw::SyncStartMessage(2, 3)), "开始同步 2 个文件到 3 个目录...");
    EXPECT_EQ(U8(tw::SyncFileMessage(uR"(D:\Servers\S1\Mir200\Envir\a.txt)", uR"(D:\Servers\S2\Mir200\Envir\a.txt)")),
              R"(同步中: a.txt -> D:\Servers\S2\Mir200\Envir\a.txt)");
    EXPECT_EQ(U8(tw::SyncDoneMessage(6, 0)), "同步完成！成功: 6, 失败: 0");
    EXPECT_EQ(U8(tw::SyncErrorMessage(u"x")), "同步出错: x");
}

}  // namespace
