// The Linux drive table: Windows paths to host paths and back. Windows has
// real drives and no table, so these tests are Linux-only.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "platform/platform.h"
#include "support/temp_drive.h"

namespace {

using tw::String;
using twtest::U8;

class DriveTable : public twtest::TempDrive {};

// The Windows form of a host path through the default Z: drive.
String ZForm(const std::string& host) {
    String out = u"Z:" + tw::FromUtf8(host);
    for (auto& c : out) c = c == u'/' ? u'\\' : c;
    return out;
}

TEST_F(DriveTable, WindowsPathsLeadIntoTheDrivesFolder) {
    Build(u"S1\\a.txt");
    const std::string root = Host(u"");
    const struct {
        String path;
        std::string expected;
    } cases[] = {
        {u"D:\\S1\\a.txt", root + "/S1/a.txt"},
        {u"d:\\S1\\a.txt", root + "/S1/a.txt"},  // the drive letter's case does not matter
        {u"D:\\", root},
        {u"D:", root},
        {u"D:\\\\S1\\\\\\a.txt", root + "/S1/a.txt"},  // empty components are skipped
        {u"D:/S1/a.txt", root + "/S1/a.txt"},
        {u"D:\\S1\\.\\a.txt", root + "/S1/a.txt"},
        {u"D:\\S1\\", root + "/S1/"},  // a trailing backslash keeps its meaning
        {u"\\\\?\\D:\\S1", root + "/S1"},
        // ".." never climbs above the drive's folder.
        {u"D:\\..\\..\\etc\\passwd", root + "/etc/passwd"},
        {u"D:\\S1\\..\\..\\..\\x", root + "/x"},
        {u"D:\\S1/../../x", root + "/x"},
        {u"D:\\S1\\..", root},
        // Unknown drives, relative paths and embedded NULs lead nowhere.
        {u"Q:\\S1\\a.txt", ""},
        {u"S1\\a.txt", ""},
        {u"\\S1\\a.txt", ""},
        {u"", ""},
        {String(u"D:\\S1\0\\..\\x", 11), ""},
        {u"\\\\nas\\game\\S1", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(tw::HostPathOf(c.path), c.expected) << U8(c.path);
}

TEST_F(DriveTable, ComponentsAreMatchedWithoutRegardToCase) {
    Build(u"S2\\mir200\\envir\\A.TXT=x \n S2\\Mir200x\\");
    const std::string root = Host(u"");
    const struct {
        String path;
        std::string expected;
    } cases[] = {
        {u"D:\\S2\\Mir200\\Envir\\a.txt", root + "/S2/mir200/envir/A.TXT"},
        {u"D:\\s2\\MIR200X", root + "/S2/Mir200x"},
        // Missing levels keep the case given, so new entries are made that way.
        {u"D:\\S2\\MIR200\\New\\Sub", root + "/S2/mir200/New/Sub"},
        {u"D:\\S2\\Mir200\\Envir\\a.txt\\x", root + "/S2/mir200/envir/A.TXT/x"},
    };
    for (const auto& c : cases) EXPECT_EQ(tw::HostPathOf(c.path), c.expected) << U8(c.path);

    // An exact match is preferred over one that differs in case.
    Build(u"S3\\a.txt=lower \n S3\\A.TXT=upper");
    EXPECT_EQ(tw::HostPathOf(u"D:\\S3\\A.TXT"), root + "/S3/A.TXT");
    EXPECT_EQ(tw::HostPathOf(u"D:\\S3\\a.txt"), root + "/S3/a.txt");
}

TEST_F(DriveTable, MapDriveAcceptsLettersAndSharesOnly) {
    const std::string root = Host(u"");
    EXPECT_TRUE(tw::MapDrive(u"e:", root + "/"));
    EXPECT_EQ(tw::HostPathOf(u"E:\\x"), root + "/x");
    EXPECT_TRUE(tw::MapDrive(u"\\\\nas\\game", root + "/./S1/../"));
    EXPECT_EQ(tw::HostPathOf(u"\\\\NAS\\Game\\S1"), root + "/S1");
    EXPECT_EQ(tw::HostPathOf(u"\\\\?\\UNC\\nas\\game\\S1"), root + "/S1");
    EXPECT_EQ(tw::HostPathOf(u"\\\\nas\\other\\S1"), "");

    const String badDrives[] = {u"", u"D", u"DD:", u"1:", u"D:\\", u"D:\\x", u"\\\\nas", u"\\\\nas\\", u"\\\\nas\\g\\x"};
    for (const auto& drive : badDrives) EXPECT_FALSE(tw::MapDrive(drive, root)) << U8(drive);
    EXPECT_FALSE(tw::MapDrive(u"F:", "relative/folder"));
    EXPECT_FALSE(tw::MapDrive(u"F:", ""));
    EXPECT_EQ(tw::HostPathOf(u"F:\\"), "");
}

TEST_F(DriveTable, AnUnmappedDriveDoesNotExist) {
    Build(u"S1\\a.txt=x \n S2\\");
    tw::UnmapDrive(u"d:");
    EXPECT_FALSE(tw::IsFile(Path(u"S1\\a.txt")));
    EXPECT_FALSE(tw::IsDirectory(Path(u"")));
    tw::TSearchRec rec;
    EXPECT_NE(tw::StartSearch(Path(u"*.*"), tw::faAnyFile, rec), 0);
    EXPECT_EQ(rec.FindHandle, nullptr);
    EXPECT_THROW(tw::OpenForReading(Path(u"S1\\a.txt")), tw::EFOpenError);
    EXPECT_EQ(tw::CopyFileReplacing(Path(u"S1\\a.txt"), Path(u"S2\\a.txt")), 0);
    EXPECT_EQ(tw::CopyFileReplacing(u"C:\\nothing", Path(u"S2\\a.txt")), 0);
    EXPECT_EQ(tw::TIniFile(Path(u"S1\\a.txt")).ReadValue(u"S", u"K"), u"");
    EXPECT_THROW(tw::TIniFile(Path(u"x.ini")).WriteValue(u"S", u"K", u"V"), tw::EIniFileException);
    try {
        tw::EnsureDirectory(Path(u"S2\\New\\"));
        ADD_FAILURE() << "no error";
    } catch (const tw::EInOutError& e) {
        EXPECT_EQ(e.Message(), u"The drive cannot be found\r\n[D:\\S2\\New\\]");
    }
    EXPECT_FALSE(Exists(u"S2\\New"));
}

TEST_F(DriveTable, HostPathsGetTheDriveWithTheLongestFolder) {
    Build(u"S1\\Mir200\\ \n S2\\");
    const std::string root = Host(u"");
    ASSERT_TRUE(tw::MapDrive(u"E:", root + "/S1"));
    const struct {
        std::string host;
        String expected;
    } cases[] = {
        {root + "/S1/Mir200/a.txt", u"E:\\Mir200\\a.txt"},
        {root + "/S1", u"E:\\"},
        {root + "/S2/a.txt", u"D:\\S2\\a.txt"},
        {root, u"D:\\"},
        {root + "/", u"D:\\"},
        {root + "x/a.txt", ZForm(root + "x/a.txt")},  // whole names only
        {root + "//S2/./x/../a.txt", u"D:\\S2\\a.txt"},
        {"/etc/passwd", u"Z:\\etc\\passwd"},
        {"/", u"Z:\\"},
        {root + "/S2/\xE4\xBC\xA0\xE5\xA5\x87", u"D:\\S2\\传奇"},
        // A byte Windows cannot hold in a name, and bytes that are not UTF-8,
        // each become a lone low surrogate: U+DC00 plus the byte.
        {root + "/S2/a\\b", u"D:\\S2\\a\xDC5C" u"b"},
        {root + "/S2/\xFF.txt", u"D:\\S2\\\xDCFF.txt"},
        {root + "/S2/<a|b>\t", u"D:\\S2\\\xDC3C" u"a\xDC7C" u"b\xDC3E\xDC09"},
        // No Windows form: a relative path.
        {"relative/a.txt", u""},
        {"", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(tw::WindowsPathFromHost(c.host), c.expected) << c.host;
}

TEST_F(DriveTable, ResetRestoresTheDefaults) {
    ASSERT_TRUE(tw::MapDrive(u"Z:", Host(u"")));
    tw::ResetDriveTable();
    EXPECT_EQ(tw::HostPathOf(u"D:\\S1"), "");
    EXPECT_EQ(tw::HostPathOf(u"Z:\\etc\\..\\tmp"), "/tmp");
    const passwd* pw = getpwuid(getuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(tw::HostPathOf(u"c:\\Tidewell.ini"), std::string(pw->pw_dir) + "/.local/share/Tidewell/drive_c/Tidewell.ini");
}

TEST_F(DriveTable, DrivesComeFromTheDrivesSectionOfTheProfile) {
    Build(u"Games\\S1\\ \n Other\\");
    const std::string root = Host(u"");
    WriteFile(u"Tidewell.ini", "[LastUsed]\r\nE:=/nowhere\r\n"
                               "[Drives]\r\n"
                               "e: = \"" + root + "/Games\"\r\n"
                               "E:=" + root + "/Other\r\n"  // the first entry for a drive wins
                               "\\\\nas\\game=" + root + "/Other\r\n");
    tw::LoadDrivesFromProfile(Path(u"Tidewell.ini"));
    EXPECT_EQ(tw::HostPathOf(u"E:\\S1"), root + "/Games/S1");
    EXPECT_EQ(tw::HostPathOf(u"\\\\nas\\game\\x"), root + "/Other/x");
    EXPECT_TRUE(tw::IsDirectory(u"E:\\S1"));

    // A missing profile adds nothing and is no error.
    tw::LoadDrivesFromProfile(Path(u"Missing.ini"));
    tw::LoadDrivesFromProfile(u"Q:\\Missing.ini");
}

// The drive that holds the profile cannot be moved by the profile itself:
// the history would be read from one place and saved to another. Entries
// that cannot be used are named in one error, after the others are mapped.
TEST_F(DriveTable, UnusableDrivesEntriesAreRefusedAndNamed) {
    Build(u"Games\\ \n Elsewhere\\");
    const std::string root = Host(u"");
    ASSERT_TRUE(tw::MapDrive(u"C:", root));
    WriteFile(u"Tidewell.ini", "[Drives]\r\n"
                               "c:=" + root + "/Elsewhere\r\n"
                               "E:=" + root + "/Games\r\n"
                               "F:=relative\r\n"
                               "Bad=" + root + "\r\n");
    try {
        tw::LoadDrivesFromProfile(u"C:\\Tidewell.ini");
        ADD_FAILURE() << "no error";
    } catch (const tw::Exception& e) {
        EXPECT_EQ(e.Message(), u"C:\\Tidewell.ini 的 [Drives] 中有 3 项无法使用，已忽略：\r\n"
                               u"c:=" + tw::FromUtf8(root) + u"/Elsewhere（C: 是本文件所在的盘，不能在这里改变）\r\n"
                               u"F:=relative（文件夹须是以 / 开头的完整路径）\r\n"
                               u"Bad=" + tw::FromUtf8(root) + u"（不是盘符：应为 X: 或 \\\\服务器\\共享）");
    }
    EXPECT_EQ(tw::HostPathOf(u"C:\\Tidewell.ini"), root + "/Tidewell.ini");
    EXPECT_EQ(tw::HostPathOf(u"E:\\x"), root + "/Games/x");
    EXPECT_EQ(tw::HostPathOf(u"F:\\"), "");
}

}  // namespace

#endif  // _WIN32
