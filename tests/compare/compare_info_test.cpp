// The comparison record of an installation: relative names and counterpart
// paths, file digests, the first file's record and the outcome table.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <filesystem>
#include <fstream>
#include <memory>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "compare/compare_info.h"
#include "compare/md5.h"
#include "compare/md5_multi.h"
#include "support/temp_drive.h"

namespace {

using tw::String;
using tw::TFileCompareInfo;

std::string Hex(const std::string& bytes)
{
    return tw::ToUtf8(tw::MD5ToHex(tw::MD5Of(bytes.data(), bytes.size())));
}

// The entry time of a local wall-clock time that is already on the two-second grid.
tw::TDateTime Stamp(int year, int month, int day, int hour, int minute, int second)
{
    const std::uint32_t dos = static_cast<std::uint32_t>(year - 1980) << 25 |
                              static_cast<std::uint32_t>(month) << 21 |
                              static_cast<std::uint32_t>(day) << 16 |
                              static_cast<std::uint32_t>(hour) << 11 |
                              static_cast<std::uint32_t>(minute) << 5 |
                              static_cast<std::uint32_t>(second / 2);
    return tw::DosTimeToDateTime(static_cast<std::int32_t>(dos));
}

void ExpectRecord(const TFileCompareInfo& got, const TFileCompareInfo& want, const std::string& what)
{
    SCOPED_TRACE(what);
    EXPECT_EQ(tw::ToUtf8(got.GameName), tw::ToUtf8(want.GameName));
    EXPECT_EQ(got.FileSize, want.FileSize);
    EXPECT_DOUBLE_EQ(got.ModifiedTime, want.ModifiedTime);
    EXPECT_EQ(tw::ToUtf8(got.MD5Hash), tw::ToUtf8(want.MD5Hash));
    EXPECT_EQ(got.IsSameMD5, want.IsSameMD5);
    EXPECT_EQ(tw::ToUtf8(got.SizeCompare), tw::ToUtf8(want.SizeCompare));
    EXPECT_EQ(tw::ToUtf8(got.TimeCompare), tw::ToUtf8(want.TimeCompare));
    EXPECT_EQ(got.FileExists, want.FileExists);
}

TEST(RelativeName, CutsThePrefixByLengthOrTakesTheName)
{
    struct Case {
        String file, prefix, dir, relative, counterpart;
    };
    const Case cases[] = {
        {uR"(D:\Servers\S1\Mir200\Envir\a.txt)", uR"(D:\Servers\S1\)", uR"(D:\Servers\S2)",
         uR"(Mir200\Envir\a.txt)", uR"(D:\Servers\S2\Mir200\Envir\a.txt)"},
        {uR"(D:\tmp\a.txt)", u"", uR"(D:\S2)", u"a.txt", uR"(D:\S2\a.txt)"},
        // An installation path that already ends in '\' gets no second one.
        {uR"(D:\tmp\a.txt)", u"", uR"(D:\S2\)", u"a.txt", uR"(D:\S2\a.txt)"},
        {u"D:a.txt", u"", uR"(D:\S2)", u"a.txt", uR"(D:\S2\a.txt)"},
        // The prefix need not be a leading part: the cut is by its length alone.
        {uR"(D:\S1\OldMir200\a.txt)", uR"(D:\S1\Old\)", uR"(D:\S2)", uR"(ir200\a.txt)",
         uR"(D:\S2\ir200\a.txt)"},
        {uR"(D:\S1\)", uR"(D:\S1\)", uR"(D:\S2)", u"", uR"(D:\S2\)"},
        {uR"(D:\S1)", uR"(D:\S1\)", uR"(D:\S2)", u"", uR"(D:\S2\)"},
        // Lengths count UTF-16 code units: U+20000 is two of them.
        {u"D:\\\U00020000\\Mir200\\a.txt", u"D:\\\U00020000\\", uR"(D:\S2)", uR"(Mir200\a.txt)",
         uR"(D:\S2\Mir200\a.txt)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(twtest::U8(c.file) + " / " + twtest::U8(c.prefix));
        EXPECT_EQ(twtest::U8(tw::GetRelativeName(c.file, c.prefix)), twtest::U8(c.relative));
        EXPECT_EQ(twtest::U8(tw::CounterpartPath(c.dir, c.file, c.prefix)), twtest::U8(c.counterpart));
    }
}

class FileMD5Test : public twtest::TempDrive {};

TEST_F(FileMD5Test, DigestOfContentOrEmpty)
{
    std::string large(3 * 4096 + 1000, '\0');  // several blocks and a short one
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>(i * 7 + 3);
    Build(uR"(
        empty.txt
        folder\
    )");
    WriteFile(u"abc.txt", "abc");
    WriteFile(u"large.bin", large);

    struct Case {
        const char16_t* rel;
        std::string digest;
    };
    const Case cases[] = {
        {u"empty.txt", "d41d8cd98f00b204e9800998ecf8427e"},
        {u"abc.txt", "900150983cd24fb0d6963f7d28e17f72"},
        {u"large.bin", Hex(large)},
        {u"missing.txt", ""},
        {u"folder", ""},
        {uR"(folder\)", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tw::ToUtf8(tw::GetFileMD5(Path(c.rel))), c.digest) << twtest::U8(c.rel);
}

// Installations below the drive root; the dropped file comes from S1.
class CompareTest : public twtest::TempDrive {
protected:
    void SetUp() override
    {
        TempDrive::SetUp();
        Build(uR"(
            S1\Config.ini=[Config]|GameName=Game1
            S1\Mir200\Envir\
            S2\Config.ini=[Config]|GameName=Game2
            S2\Mir200\Envir\
            S3\Config.ini=[Config]|GameName=|[GameConf]|GameName=Game3
            S3\Mir200\Envir\
            S4\Mir200\Envir\
            S5\Config.ini=[Config]|GameName=Game5
            S6\Config.ini=[Config]|GameName=Game6
            S6\Mir200\Envir\a.txt\
            S7\Config.ini=[Config]|GameName=Game7
            S7\Mir200\Envir\
        )");
        WriteFile(uR"(S1\Mir200\Envir\a.txt)", "abc");
        WriteFile(uR"(S2\Mir200\Envir\a.txt)", "abc");   // same content, other time
        WriteFile(uR"(S3\Mir200\Envir\a.txt)", "abcd");  // larger, newer
        WriteFile(uR"(S4\Mir200\Envir\a.txt)", "ab");    // smaller, older; no Config.ini
        WriteFile(uR"(S7\Mir200\Envir\a.txt)", "xyz");   // same size and stamp, other content
        const std::int64_t t0 = LocalTime(2024, 3, 15, 10, 0, 0);
        SetMTime(uR"(S1\Mir200\Envir\a.txt)", t0);
        SetMTime(uR"(S2\Mir200\Envir\a.txt)", t0 + 3600);
        SetMTime(uR"(S3\Mir200\Envir\a.txt)", t0 + 3600);
        SetMTime(uR"(S4\Mir200\Envir\a.txt)", t0 - 3600);
        SetMTime(uR"(S6\Mir200\Envir\a.txt)", t0 + 7200);
        SetMTime(uR"(S7\Mir200\Envir\a.txt)", t0 + 1);

        dropped_ = {Path(uR"(S1\Mir200\Envir\a.txt)"), Path(uR"(S1\Mir200\b.txt)")};
        prefix_ = Path(u"S1\\");
    }

    TFileCompareInfo Compare(const String& dir, const TFileCompareInfo& first) const
    {
        TFileCompareInfo info;
        info.GameName = u"stale";  // every call starts from the empty record
        info.IsSameMD5 = true;
        tw::BuildCompareInfo(dir, info, dropped_, prefix_, first);
        return info;
    }
    std::vector<String> dropped_;
    String prefix_;
};

TEST_F(CompareTest, FirstFileRecord)
{
    WriteFile(uR"(S2\Mir200\Envir\.a.txt)", "abc");
    SetMTime(uR"(S2\Mir200\Envir\.a.txt)", LocalTime(2024, 3, 15, 11, 0, 0));
    SetHidden(uR"(S2\Mir200\Envir\.a.txt)");

    TFileCompareInfo want;
    want.FileSize = 3;
    want.ModifiedTime = Stamp(2024, 3, 15, 10, 0, 0);
    want.MD5Hash = u"900150983cd24fb0d6963f7d28e17f72";
    want.FileExists = true;
    ExpectRecord(tw::LoadFirstFileInfo(dropped_), want, "dropped file");

    // A hidden file is looked up like any other.
    want.ModifiedTime = Stamp(2024, 3, 15, 11, 0, 0);
    ExpectRecord(tw::LoadFirstFileInfo({Path(uR"(S2\Mir200\Envir\.a.txt)")}), want, "hidden file");

    ExpectRecord(tw::LoadFirstFileInfo({}), {}, "empty folder dropped");
    ExpectRecord(tw::LoadFirstFileInfo({Path(u"S1\\missing.txt")}), {}, "missing file");
}

TEST_F(CompareTest, OutcomeTable)
{
    const TFileCompareInfo first = tw::LoadFirstFileInfo(dropped_);
    ASSERT_TRUE(first.FileExists);
    const String abc = u"900150983cd24fb0d6963f7d28e17f72";

    struct Case {
        const char* what;
        const char16_t* dir;
        TFileCompareInfo want;
    };
    const Case cases[] = {
        {"the dropped file's own installation", u"S1",
         {u"Game1", 3, Stamp(2024, 3, 15, 10, 0, 0), abc, true, u"", u"相同", true}},
        {"same content, other time: times not looked at", u"S2",
         {u"Game2", 3, Stamp(2024, 3, 15, 11, 0, 0), abc, true, u"", u"相同", true}},
        {"larger and newer; name from GameConf", u"S3",
         {u"Game3", 4, Stamp(2024, 3, 15, 11, 0, 0), tw::FromUtf8(Hex("abcd")), false, u"较大",
          u"较新", true}},
        {"smaller and older; no Config.ini", u"S4",
         {u"", 2, Stamp(2024, 3, 15, 9, 0, 0), tw::FromUtf8(Hex("ab")), false, u"较小", u"较旧",
          true}},
        {"counterpart missing", u"S5", {u"Game5", 0, 0, u"", false, u"", u"", false}},
        {"counterpart is a folder", u"S6",
         {u"Game6", 0, Stamp(2024, 3, 15, 12, 0, 0), u"", false, u"较小", u"较新", true}},
        {"same size, same two-second stamp, other content", u"S7",
         {u"Game7", 3, Stamp(2024, 3, 15, 10, 0, 0), tw::FromUtf8(Hex("xyz")), false, u"相同",
          u"相同", true}},
        {"installation folder missing", u"S9", {u"", 0, 0, u"", false, u"", u"", false}},
    };
    for (const Case& c : cases) {
        ExpectRecord(Compare(Path(c.dir), first), c.want, c.what);
        // Given with its trailing backslash, the same record.
        ExpectRecord(Compare(Path(c.dir) + u"\\", first), c.want, std::string(c.what) + " (dir\\)");
    }
}

TEST_F(CompareTest, WithoutAComparableFirstFile)
{
    // First file gone at drop time: counterparts are found but not hashed.
    const TFileCompareInfo none = tw::LoadFirstFileInfo({Path(u"S1\\gone.txt")});
    ExpectRecord(Compare(Path(u"S3"), none),
                 {u"Game3", 4, Stamp(2024, 3, 15, 11, 0, 0), u"", false, u"", u"", true},
                 "first file not found");

    // First file could not be read (held open for writing): its digest is
    // empty, and so is a folder counterpart's. Two unreadable contents are
    // not identical: size and time are compared instead.
    TFileCompareInfo unreadable = tw::LoadFirstFileInfo(dropped_);
    unreadable.MD5Hash.clear();
    ExpectRecord(Compare(Path(u"S6"), unreadable),
                 {u"Game6", 0, Stamp(2024, 3, 15, 12, 0, 0), u"", false, u"较小", u"较新", true},
                 "both digests empty");
    ExpectRecord(Compare(Path(u"S2"), unreadable),
                 {u"Game2", 3, Stamp(2024, 3, 15, 11, 0, 0),
                  u"900150983cd24fb0d6963f7d28e17f72", false, u"相同", u"较新", true},
                 "only the first digest empty");
}

TEST_F(CompareTest, EmptyFolderDropGivesOnlyTheGameName)
{
    const std::vector<String> noFiles;
    const TFileCompareInfo first = tw::LoadFirstFileInfo(noFiles);
    TFileCompareInfo info;
    info.FileExists = true;
    tw::BuildCompareInfo(Path(u"S2"), info, noFiles, prefix_, first);
    ExpectRecord(info, {u"Game2", 0, 0, u"", false, u"", u"", false}, "no dropped files");
}

// Times on either side of a two-second slot boundary, with equal sizes.
TEST_F(CompareTest, TimesCompareByTheirTwoSecondStamp)
{
    WriteFile(uR"(S2\Mir200\Envir\a.txt)", "abd");
    const std::int64_t ten = LocalTime(2024, 3, 15, 10, 0, 0);
    struct Case {
        std::int64_t firstSec, firstNanos, otherSec, otherNanos;
        const char16_t* time;
    };
    const Case cases[] = {
        {ten, 400'000'000, ten + 1, 900'000'000, u"相同"},  // both stamp as 10:00:00
        {ten + 1, 900'000'000, ten + 2, 100'000'000, u"较新"},
        {ten + 2, 100'000'000, ten + 1, 900'000'000, u"较旧"},
    };
    for (const Case& c : cases) {
        SetMTime(uR"(S1\Mir200\Envir\a.txt)", c.firstSec, c.firstNanos);
        SetMTime(uR"(S2\Mir200\Envir\a.txt)", c.otherSec, c.otherNanos);
        const TFileCompareInfo info = Compare(Path(u"S2"), tw::LoadFirstFileInfo(dropped_));
        SCOPED_TRACE(tw::ToUtf8(c.time));
        EXPECT_FALSE(info.IsSameMD5);
        EXPECT_EQ(tw::ToUtf8(info.SizeCompare), "相同");
        EXPECT_EQ(tw::ToUtf8(info.TimeCompare), tw::ToUtf8(c.time));
    }
}

// A time with no two-second stamp still gives a complete record.
TEST_F(CompareTest, TimeOutsideTheStampRange)
{
    SetMTime(uR"(S1\Mir200\Envir\a.txt)", LocalTime(1975, 6, 1, 12, 0, 0));
    SetMTime(uR"(S3\Mir200\Envir\a.txt)", LocalTime(1975, 6, 1, 12, 0, 0));
    const TFileCompareInfo first = tw::LoadFirstFileInfo(dropped_);
    EXPECT_TRUE(first.FileExists);
    EXPECT_EQ(first.FileSize, 3);
    EXPECT_EQ(tw::ToUtf8(first.MD5Hash), "900150983cd24fb0d6963f7d28e17f72");

    const TFileCompareInfo info = Compare(Path(u"S3"), first);
    EXPECT_TRUE(info.FileExists);
    EXPECT_EQ(info.FileSize, 4);
    EXPECT_EQ(tw::ToUtf8(info.SizeCompare), "较大");
}

// A scan hashes the counterparts side by side; every record must be the one
// BuildCompareInfo gives alone, in order, whatever the counterpart is.
TEST_F(CompareTest, ScanRecordsEqualTheOneByOneRecords)
{
    std::vector<String> dirs;
    for (const char16_t* dir : {u"S1", u"S2", u"S3", u"S4", u"S5", u"S6", u"S7", u"S9"})
        dirs.push_back(Path(dir));
    dirs.push_back(Path(u"S3\\"));  // the same installation again, with its backslash
    // Counterparts ending on and around the padding and read boundaries,
    // some identical to the first file, one empty.
    const std::size_t sizes[] = {0, 3, 55, 56, 63, 64, 65, 4095, 4096, 4097, 70000, 3, 200000};
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
        const String dir = u"T" + tw::FromUtf8(std::to_string(i));
        std::string bytes(sizes[i], '\0');
        for (std::size_t j = 0; j < bytes.size(); ++j)
            bytes[j] = static_cast<char>(j * 31 + i);
        if (sizes[i] == 3 && i % 2 == 1)
            bytes = "abc";  // the first file's content
        WriteFile(dir + uR"(\Config.ini)", "[Config]\r\nGameName=T\r\n");
        WriteFile(dir + uR"(\Mir200\Envir\a.txt)", bytes);
        dirs.push_back(Path(dir));
    }

    // Unreadable counterparts without relying on permissions (the tests run
    // as root): a named pipe, which the platform refuses to open, on Linux;
    // on Windows a file held open for writing by another handle.
    MakeDir(uR"(U1\Mir200\Envir\)");
    dirs.push_back(Path(u"U1"));
#ifndef _WIN32
    ASSERT_EQ(::mkfifo(Host(uR"(U1\Mir200\Envir\a.txt)").c_str(), 0644), 0);
#else
    WriteFile(uR"(U1\Mir200\Envir\a.txt)", "held");
    std::ofstream writer(std::filesystem::path(tw::FromUtf8(Host(uR"(U1\Mir200\Envir\a.txt)"))),
                         std::ios::binary | std::ios::app);
    ASSERT_TRUE(writer.good());
#endif
    ASSERT_TRUE(tw::GetFileMD5(Path(uR"(U1\Mir200\Envir\a.txt)")).empty());

    struct Case {
        const char* what;
        std::vector<String> dropped;
    };
    const Case cases[] = {
        {"first file found", dropped_},
        {"first file missing: counterparts not hashed", {Path(uR"(S1\Mir200\Envir\gone.txt)")}},
        {"nothing dropped", {}},
    };
    for (const Case& c : cases) {
        const TFileCompareInfo first = tw::LoadFirstFileInfo(c.dropped);
        std::vector<TFileCompareInfo> want(1);  // what was in the list stays
        want[0].GameName = u"earlier";
        for (const String& dir : dirs) {
            TFileCompareInfo info;
            tw::BuildCompareInfo(dir, info, c.dropped, prefix_, first);
            want.push_back(info);
        }
        for (tw::TMD5Kernel kernel : tw::AvailableMD5Kernels()) {
            std::vector<TFileCompareInfo> got(1);
            got[0].GameName = u"earlier";
            tw::BuildCompareInfos(dirs, got, c.dropped, prefix_, first, kernel);
            ASSERT_EQ(got.size(), want.size()) << c.what;
            for (std::size_t i = 0; i < want.size(); ++i) {
                const std::string what = std::string(c.what) + ", " + tw::MD5KernelName(kernel) +
                                         ", entry " + std::to_string(i);
                ExpectRecord(got[i], want[i], what);
                EXPECT_TRUE(got[i] == want[i]) << what;
            }
        }
    }
}

#ifndef _WIN32
// A sparse counterpart just above 4 GiB: its low 32 bits alone (512) would
// make it smaller than the 1 KiB first file.
TEST_F(CompareTest, CounterpartAbove4GiB)
{
    WriteFile(uR"(S1\Mir200\Envir\a.txt)", std::string(1024, 'x'));
    const std::int64_t size = (std::int64_t{1} << 32) + 512;
    ASSERT_EQ(::truncate(Host(uR"(S3\Mir200\Envir\a.txt)").c_str(), size), 0);

    const TFileCompareInfo info = Compare(Path(u"S3"), tw::LoadFirstFileInfo(dropped_));
    EXPECT_TRUE(info.FileExists);
    EXPECT_EQ(info.FileSize, size);
    EXPECT_EQ(info.MD5Hash.size(), 32u);
    EXPECT_FALSE(info.IsSameMD5);
    EXPECT_EQ(tw::ToUtf8(info.SizeCompare), "较大");
}
#endif

}  // namespace
