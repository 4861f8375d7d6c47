// Linux-only profile behaviour: encodings of Config.ini files from Chinese
// Windows systems, writes that change one line and nothing else, atomic
// replacement and refused writes. On Windows the private-profile functions
// decide these things (win_profile_test.cpp has the Windows side).
#ifndef _WIN32

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/platform.h"
#include "support/temp_drive.h"

namespace {

using tw::String;
using twtest::U8;

class PosixProfile : public twtest::TempDrive {};

// "传奇世界" and "复古" in GBK and UTF-16LE.
const std::string kLegendGbk = "\xB4\xAB\xC6\xE6\xCA\xC0\xBD\xE7";
const std::string kRetroGbk = "\xB8\xB4\xB9\xC5";
const std::string kRetroUtf16 = "\x0D\x59\xE4\x53";

TEST_F(PosixProfile, ReadsEveryEncodingOfConfigIni) {
    const struct {
        const char* what;
        std::string bytes;
    } files[] = {
        {"GBK", "[Config]\r\nGameName=" + kLegendGbk + "\r\n"},
        {"UTF-8", "[Config]\nGameName=\xE4\xBC\xA0\xE5\xA5\x87\xE4\xB8\x96\xE7\x95\x8C\n"},
        {"UTF-8 with BOM", "\xEF\xBB\xBF[Config]\r\nGameName=\xE4\xBC\xA0\xE5\xA5\x87\xE4\xB8\x96\xE7\x95\x8C"},
        {"UTF-16LE", "\xFF\xFE" + twtest::Utf16Le(u"[Config]\r\nGameName=") + "\x20\x4F\x47\x59\x16\x4E\x4C\x75" + twtest::Utf16Le(u"\r\n")},
    };
    for (const auto& f : files) {
        WriteFile(u"Config.ini", f.bytes);
        EXPECT_EQ(tw::TIniFile(Path(u"Config.ini")).ReadValue(u"Config", u"GameName"), u"传奇世界") << f.what;
    }
}

TEST_F(PosixProfile, AWriteKeepsEncodingLineEndingsAndEveryOtherByte) {
    const struct {
        const char* what;
        std::string before;
        std::string after;  // after writing Config/Version=复古 and New/Key=复古
    } files[] = {
        {"GBK, CR LF, comments and odd spacing",
         "; " + kLegendGbk + "\r\n[Config]\r\n  GameName =  " + kLegendGbk + "  \r\nversion = 1\r\n\r\n[Other]\r\nX=1",
         "; " + kLegendGbk + "\r\n[Config]\r\n  GameName =  " + kLegendGbk + "  \r\nVersion=" + kRetroGbk +
             "\r\n\r\n[Other]\r\nX=1\r\n[New]\r\nKey=" + kRetroGbk + "\r\n"},
        {"UTF-8 with BOM, LF",
         "\xEF\xBB\xBF[Config]\nGameName=x\n",
         "\xEF\xBB\xBF[Config]\nGameName=x\nVersion=\xE5\xA4\x8D\xE5\x8F\xA4\n[New]\nKey=\xE5\xA4\x8D\xE5\x8F\xA4\n"},
        {"ASCII (taken as GBK) with mixed endings: the replaced line keeps its own",
         "[Config]\nVersion=1\r\nA=2\n",
         "[Config]\nVersion=" + kRetroGbk + "\r\nA=2\n[New]\nKey=" + kRetroGbk + "\n"},
        {"UTF-16LE",
         "\xFF\xFE" + twtest::Utf16Le(u"[Config]\r\nGameName=x\r\n"),
         "\xFF\xFE" + twtest::Utf16Le(u"[Config]\r\nGameName=x\r\nVersion=") + kRetroUtf16 + twtest::Utf16Le(u"\r\n[New]\r\nKey=") +
             kRetroUtf16 + twtest::Utf16Le(u"\r\n")},
    };
    for (const auto& f : files) {
        WriteFile(u"Config.ini", f.before);
        tw::TIniFile ini(Path(u"Config.ini"));
        ini.WriteValue(u"Config", u"Version", u"复古");
        ini.WriteValue(u"New", u"Key", u"复古");
        EXPECT_EQ(ReadFile(u"Config.ini"), f.after) << f.what;
        EXPECT_EQ(ini.ReadValue(u"config", u"VERSION"), u"复古") << f.what;
    }
}

// Byte for byte what the Windows build makes of a new file.
TEST_F(PosixProfile, ANewFileIsUtf16LeWithBomAndCrLf) {
    tw::TIniFile ini(Path(u"Tidewell.ini"));
    ini.WriteValue(u"VersionHistory", u"0", u"复古");
    ini.WriteValue(u"LastUsed", u"Version", u"1.76");
    EXPECT_EQ(ReadFile(u"Tidewell.ini"), "\xFF\xFE" + twtest::Utf16Le(u"[VersionHistory]\r\n0=") + kRetroUtf16 +
                                             twtest::Utf16Le(u"\r\n[LastUsed]\r\nVersion=1.76\r\n"));
}

// Files without a byte-order mark written on Linux by earlier versions, or
// by hand, hold real UTF-8 Chinese text: they stay UTF-8, for reading and
// for writing. (Windows reads such a file in its code page.)
TEST_F(PosixProfile, Utf8FilesWithChineseTextStayUtf8) {
    const char* names[] = {"原始1.76", "原始", "怒斩", "一", "十", "热血传奇", "熱血傳奇", "复古1.85金币版", "龍城",
                           "【原始】1.76", "皓月", "GOM引擎"};
    for (const char* name : names) {
        WriteFile(u"Config.ini", std::string("[Config]\nGameName=") + name + "\n");
        tw::TIniFile ini(Path(u"Config.ini"));
        EXPECT_EQ(U8(ini.ReadValue(u"Config", u"GameName")), name);
        ini.WriteValue(u"Config", u"Version", u"复古");
        EXPECT_EQ(ReadFile(u"Config.ini"), std::string("[Config]\nGameName=") + name + "\nVersion=\xE5\xA4\x8D\xE5\x8F\xA4\n")
            << name;
    }
}

TEST_F(PosixProfile, DropSectionRemovesEveryCopyOfTheSectionAndNothingElse) {
    WriteFile(u"h.ini", "[A]\r\nx=1\r\n[VersionHistory]\r\nItem0=a\r\n; note\r\n[B]\r\ny=2\r\n[versionhistory]\r\nItem0=old\r\n");
    tw::TIniFile ini(Path(u"h.ini"));
    ini.DropSection(u"VersionHistory");
    EXPECT_EQ(ReadFile(u"h.ini"), "[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
    EXPECT_EQ(ini.ReadValue(u"VersionHistory", u"Item0"), u"");

    // Dropping from a file that does not exist makes none.
    tw::TIniFile(Path(u"none.ini")).DropSection(u"A");
    EXPECT_FALSE(Exists(u"none.ini"));
}

TEST_F(PosixProfile, WritesReplaceTheFileAndKeepItsMode) {
    WriteFile(u"Config.ini", "[Config]\nA=1\n");
    ASSERT_EQ(chmod(Host(u"Config.ini").c_str(), 0640), 0);
    struct stat before {};
    ASSERT_EQ(stat(Host(u"Config.ini").c_str(), &before), 0);
    tw::TIniFile(Path(u"Config.ini")).WriteValue(u"Config", u"A", u"2");
    struct stat after {};
    ASSERT_EQ(stat(Host(u"Config.ini").c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);  // a new file took the old one's place
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(Host(u""))) ++entries;
    EXPECT_EQ(entries, 1u);
}

// Root may write anywhere, so the refused write comes from a C: drive whose
// folder would have to lie below a regular file.
TEST_F(PosixProfile, AnUnwritableLocationRaisesUnableToWrite) {
    Build(u"file.txt=x");
    ASSERT_TRUE(tw::MapDrive(u"C:", Host(u"file.txt") + "/below"));
    tw::TIniFile ini(u"C:\\Tidewell.ini");
    EXPECT_EQ(ini.ReadValue(u"LastUsed", u"Version"), u"");
    const struct {
        const char* what;
        void (*call)(tw::TIniFile&);
    } writes[] = {
        {"WriteValue", [](tw::TIniFile& f) { f.WriteValue(u"LastUsed", u"Version", u"1"); }},
        {"DropSection", [](tw::TIniFile& f) { f.DropSection(u"LastUsed"); }},
    };
    for (const auto& w : writes) {
        try {
            w.call(ini);
            ADD_FAILURE() << w.what << ": no error";
        } catch (const tw::EIniFileException& e) {
            EXPECT_EQ(e.Message(), u"Unable to write to C:\\Tidewell.ini") << w.what;
        }
    }
    EXPECT_EQ(ReadFile(u"file.txt"), "x");
}

// A kernel file that never ends and a sparse file of gigabytes, reached
// through a drive (Z: is "/"): neither is read, and neither is replaced.
TEST_F(PosixProfile, EndlessAndHugeFilesAreNeitherReadNorWritten) {
    const std::string sparse = Host(u"Tidewell.ini");
    {
        std::ofstream out(sparse, std::ios::binary);
        out << "[LastUsed]\r\nVersion=1.76\r\n";
    }
    ASSERT_EQ(truncate(sparse.c_str(), 3LL << 30), 0);
    ASSERT_TRUE(tw::MapDrive(u"P:", "/proc/self"));
    for (const tw::String& path : {tw::String(u"P:\\pagemap"), Path(u"Tidewell.ini")}) {
        tw::TIniFile ini(path);
        EXPECT_EQ(ini.ReadValue(u"LastUsed", u"Version"), u"") << U8(path);
        EXPECT_THROW(ini.WriteValue(u"LastUsed", u"Version", u"2"), tw::EIniFileException) << U8(path);
        EXPECT_THROW(ini.DropSection(u"LastUsed"), tw::EIniFileException) << U8(path);
    }
    struct stat st {};
    ASSERT_EQ(stat(sparse.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 3LL << 30);
}

}  // namespace

#endif  // _WIN32
