// Profile files in the encodings a Chinese Windows system reads and writes:
// GBK Config.ini files, Chinese added to a file without a byte-order mark,
// and UTF-16 history files. Windows reads a file without a mark in its ANSI
// code page, so those cases need Chinese Windows (code page 936) there.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include "platform/platform.h"
#include "support/temp_drive.h"

namespace {

using tw::String;
using twtest::U8;

// The text in GBK, as Chinese Windows saves it.
std::string Gbk(std::u16string_view text) {
#ifdef _WIN32
    const std::wstring wide(text.begin(), text.end());
    const int n = WideCharToMultiByte(936, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(936, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
#else
    iconv_t cd = iconv_open("GBK", "UTF-16LE");
    std::string in;
    for (const char16_t c : text) {
        in += static_cast<char>(c & 0xFF);
        in += static_cast<char>(c >> 8);
    }
    std::string out(in.size() * 2, '\0');
    char* src = in.data();
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    EXPECT_NE(r, static_cast<std::size_t>(-1)) << U8(text);
    out.resize(out.size() - dstLeft);
    return out;
#endif
}

const std::string kBom = "\xFF\xFE";

class ProfileEncoding : public twtest::TempDrive {
protected:
    void SetUp() override {
        TempDrive::SetUp();
#ifdef _WIN32
        if (GetACP() != 936) GTEST_SKIP() << "files without a byte-order mark are read in the ANSI code page, here "
                                          << GetACP() << ", not Chinese (936)";
#endif
    }
};

// Game names as operators name their servers. Those marked * are, in GBK,
// also valid UTF-8 (原始 is D4 AD CA BC, which UTF-8 reads as "ԭʼ"): a file
// holding no other Chinese text is the case that matters.
const String kGameNames[] = {
    u"原始1.76",  // *
    u"原始",      // *
    u"1.76原始",  // *
    u"GOM原始Ver2",  // *
    u"怒斩",      // *
    u"怒斩1.80",  // *
    u"职业",      // *
    u"一",        // *
    u"十",        // *
    u"千",        // *
    u"战",        // *
    u"魔",        // *
    u"雪",        // *
    u"圣",        // *
    u"业",        // *
    u"复古1.76",
    u"热血传奇",
    u"传奇世界",
    u"1.80合击",
    u"GOM引擎",
    u"三端互通",
    u"复古1.85金币版",
    u"176复古",
    u"1.95神龙",
    u"新开一区",
    u"龙城霸业",
    u"蓝月传奇",
    u"沙城争霸",
    u"冰雪传奇",
    u"单职业",
    u"轻变版",
    u"白日门",
    u"封魔谷",
    u"熱血傳奇",  // traditional characters, outside GB2312
    u"龍城",
    u"996引擎",
    u"至尊合击",
    u"万人攻沙",
    u"【原始】1.76",
    u"皓月",
    u"迷失",
    u"元素",
};

TEST_F(ProfileEncoding, GbkGameNamesReadBackAsWritten) {
    for (const String& name : kGameNames) {
        WriteFile(u"Config.ini", "[Config]\r\nGameName=" + Gbk(name) + "\r\n");
        EXPECT_EQ(tw::TIniFile(Path(u"Config.ini")).ReadValue(u"Config", u"GameName"), name) << U8(name);
    }
}

// Windows writes Chinese into a file without a byte-order mark in its code
// page, whatever the file held so far; a file holding only ASCII is such a file.
TEST_F(ProfileEncoding, ChineseGoesIntoAnAsciiFileAsGbk) {
    WriteFile(u"Tidewell.ini", "[LastUsed]\r\nVersion=1.76\r\n");
    tw::TIniFile ini(Path(u"Tidewell.ini"));
    ini.WriteValue(u"LastUsed", u"SubDir", u"复古");
    EXPECT_EQ(ReadFile(u"Tidewell.ini"), "[LastUsed]\r\nVersion=1.76\r\nSubDir=\xB8\xB4\xB9\xC5\r\n");
    EXPECT_EQ(ini.ReadValue(u"LastUsed", u"SubDir"), u"复古");
}

// A save that takes away the GBK text that only GBK could read leaves bytes
// that are valid UTF-8 by accident (一 is D2 BB); they are still GBK.
TEST_F(ProfileEncoding, AGbkFileStaysGbkWhenASaveLeavesTextThatIsAlsoUtf8) {
    WriteFile(u"Tidewell.ini", "[Drives]\r\nD:=/srv/" + Gbk(u"一") + "\r\n[VersionHistory]\r\n0=" +
                                   Gbk(u"传奇世界") + "\r\n");
    tw::TIniFile ini(Path(u"Tidewell.ini"));
    ini.DropSection(u"VersionHistory");
    ini.WriteValue(u"VersionHistory", u"0", u"1.76");
    ini.WriteValue(u"VersionHistory", u"1", u"原始");
    EXPECT_EQ(ini.ReadValue(u"Drives", u"D:"), u"/srv/一");
    EXPECT_EQ(ini.ReadValue(u"VersionHistory", u"1"), u"原始");
    EXPECT_NE(ReadFile(u"Tidewell.ini").find("D:=/srv/" + Gbk(u"一") + "\r\n"), std::string::npos);
    EXPECT_NE(ReadFile(u"Tidewell.ini").find("1=" + Gbk(u"原始") + "\r\n"), std::string::npos);
}

// A new history file is UTF-16LE with a byte-order mark and CR LF, on every
// system: it keeps every character whatever the code page, and an operator
// can carry it from one system to the other.
TEST_F(ProfileEncoding, ANewFileIsUtf16WithCrLfAndKeepsEveryCharacter) {
    const String value = u"复古 한국 ℵ 𠀀";
    {
        tw::TIniFile ini(Path(u"Tidewell.ini"));
        ini.WriteValue(u"VersionHistory", u"0", value);
        ini.WriteValue(u"LastUsed", u"SubDir", u"服务器");
    }
    const std::string bytes = ReadFile(u"Tidewell.ini");
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), kBom);
    EXPECT_EQ(bytes.size() % 2, 0u);
    EXPECT_NE(bytes.find(twtest::Utf16Le(u"[VersionHistory]\r\n0=" + value + u"\r\n")), std::string::npos);
    EXPECT_NE(bytes.find(twtest::Utf16Le(u"[LastUsed]\r\nSubDir=服务器\r\n")), std::string::npos);

    tw::TIniFile again(Path(u"Tidewell.ini"));
    EXPECT_EQ(again.ReadValue(u"VersionHistory", u"0"), value);
    EXPECT_EQ(again.ReadValue(u"LastUsed", u"SubDir"), u"服务器");

    // An empty file has no encoding yet and becomes the same.
    WriteFile(u"Empty.ini", "");
    tw::TIniFile(Path(u"Empty.ini")).WriteValue(u"LastUsed", u"Version", u"复古");
    EXPECT_EQ(ReadFile(u"Empty.ini").substr(0, 2), kBom);
    EXPECT_NE(ReadFile(u"Empty.ini").find(twtest::Utf16Le(u"Version=复古\r\n")), std::string::npos);
}

// A stray byte at the end of a UTF-16 file (cut short, or a careless edit):
// the file is read up to its last whole code unit, and a write leaves it
// well-formed, so that the next read finds what was written.
TEST_F(ProfileEncoding, AUtf16FileWithAnOddByteCountIsReadAndWrittenWhole) {
    for (const std::string& tail : {std::string("\x00", 1), std::string("\r\x00\n", 3)}) {
        WriteFile(u"Tidewell.ini", kBom + twtest::Utf16Le(u"[LastUsed]\r\nVersion=1.76") + tail);
        tw::TIniFile ini(Path(u"Tidewell.ini"));
        EXPECT_EQ(ini.ReadValue(u"LastUsed", u"Version"), u"1.76");
        ini.WriteValue(u"LastUsed", u"SubDir", u"复古");
        ini.WriteValue(u"LastUsed", u"SubDir", u"一区");
        const std::string bytes = ReadFile(u"Tidewell.ini");
        EXPECT_EQ(bytes.size() % 2, 0u);
        EXPECT_EQ(bytes.substr(0, 2), kBom);
        EXPECT_NE(bytes.find(twtest::Utf16Le(u"SubDir=一区\r\n")), std::string::npos);
        EXPECT_EQ(bytes.find(twtest::Utf16Le(u"复古")), std::string::npos);  // replaced, not appended again
        EXPECT_EQ(ini.ReadValue(u"LastUsed", u"Version"), u"1.76");
        EXPECT_EQ(ini.ReadValue(u"LastUsed", u"SubDir"), u"一区");
    }
}

}  // namespace
