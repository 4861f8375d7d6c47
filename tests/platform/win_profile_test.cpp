// Windows-only profile behaviour: the encoding of the files the private-profile
// functions write. Linux has its own encoding rules (posix_profile_test.cpp).
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/temp_drive.h"

namespace {

using tw::String;
using twtest::U8;

const std::string kBom = "\xFF\xFE";

class WinProfile : public twtest::TempDrive {};

// Files that already hold text keep their encoding; an empty file has none
// yet and becomes UTF-16 like a new one.
TEST_F(WinProfile, AnExistingFileKeepsItsEncoding) {
    const struct {
        const char* what;
        std::string before;
        bool unicodeAfter;
    } files[] = {
        {"ASCII", "[Config]\r\nGameName=Legend\r\n", false},
        {"UTF-16LE", kBom + twtest::Utf16Le(u"[Config]\r\nGameName=Legend\r\n"), true},
        {"empty", "", true},
    };
    for (const auto& f : files) {
        WriteFile(u"Config.ini", f.before);
        tw::TIniFile ini(Path(u"Config.ini"));
        ini.WriteValue(u"Config", u"Port", u"7000");
        const std::string after = ReadFile(u"Config.ini");
        EXPECT_EQ(after.substr(0, 2) == kBom, f.unicodeAfter) << f.what;
        const std::string line = f.unicodeAfter ? twtest::Utf16Le(u"Port=7000") : "Port=7000";
        EXPECT_NE(after.find(line), std::string::npos) << f.what;
        EXPECT_EQ(ini.ReadValue(u"Config", u"Port"), u"7000") << f.what;
    }
}

// A Config.ini saved by Chinese Windows is GBK; a write into it stays GBK.
TEST_F(WinProfile, AGbkFileStaysGbk) {
    if (GetACP() != 936) GTEST_SKIP() << "files without a byte-order mark are read in the ANSI code page, here "
                                      << GetACP() << ", not Chinese (936)";
    const std::string legend = "\xB4\xAB\xC6\xE6\xCA\xC0\xBD\xE7";  // 传奇世界
    WriteFile(u"Config.ini", "[Config]\r\nGameName=" + legend + "\r\n");
    tw::TIniFile ini(Path(u"Config.ini"));
    EXPECT_EQ(ini.ReadValue(u"Config", u"GameName"), u"传奇世界");
    ini.WriteValue(u"Config", u"Version", u"复古");
    EXPECT_EQ(ReadFile(u"Config.ini"), "[Config]\r\nGameName=" + legend + "\r\nVersion=\xB8\xB4\xB9\xC5\r\n");
}

// A value cut short at a code unit 0 would be stored as something the
// operator never typed; the write is refused and the file left alone.
TEST_F(WinProfile, TextHoldingCodeUnitZeroIsRefused) {
    WriteFile(u"h.ini", "[LastUsed]\r\nVersion=1\r\n");
    tw::TIniFile ini(Path(u"h.ini"));
    const String nul(u"a\0b", 3);
    EXPECT_THROW(ini.WriteValue(u"LastUsed", u"Version", nul), tw::EIniFileException);
    EXPECT_THROW(ini.WriteValue(u"LastUsed", nul, u"x"), tw::EIniFileException);
    EXPECT_THROW(ini.DropSection(nul), tw::EIniFileException);
    EXPECT_EQ(ReadFile(u"h.ini"), "[LastUsed]\r\nVersion=1\r\n");

    // A refused write into a new file leaves no file behind.
    tw::TIniFile fresh(Path(u"new.ini"));
    EXPECT_THROW(fresh.WriteValue(u"S", u"K", nul), tw::EIniFileException);
    EXPECT_FALSE(Exists(u"new.ini"));
}

}  // namespace

#endif  // _WIN32
