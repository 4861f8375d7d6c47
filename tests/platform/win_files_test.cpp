// Windows-only file-system behaviour: attributes set on entries rather than
// implied by their names, the sharing modes of OpenForReading and the copy,
// and the EnsureDirectory checks that need drive letters. Linux has no
// sharing modes and keeps no such attributes (posix_files_test.cpp).
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <map>
#include <memory>

#include "platform/platform.h"
#include "support/temp_drive.h"

namespace {

using tw::String;
using twtest::U8;

std::wstring Wide(const String& text) { return std::wstring(text.begin(), text.end()); }

// A handle of the test's own on a file, closed when it goes.
struct Handle {
    HANDLE h;
    explicit Handle(HANDLE handle) : h(handle) {}
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Open() const { return h != INVALID_HANDLE_VALUE; }
};

class WinFiles : public twtest::TempDrive {
protected:
    void AddAttributes(std::u16string_view rel, DWORD bits) {
        const std::wstring path = Wide(Path(rel));
        const DWORD attr = GetFileAttributesW(path.c_str());
        ASSERT_NE(attr, INVALID_FILE_ATTRIBUTES) << U8(rel);
        ASSERT_TRUE(SetFileAttributesW(path.c_str(), attr | bits)) << U8(rel);
    }

    std::unique_ptr<Handle> OpenFile(std::u16string_view rel, DWORD access, DWORD share) {
        return std::make_unique<Handle>(
            CreateFileW(Wide(Path(rel)).c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }

    std::map<String, std::int32_t> List(const String& pattern, std::int32_t mask) {
        std::map<String, std::int32_t> out;
        tw::TSearchRec rec;
        for (int r = tw::StartSearch(pattern, mask, rec); r == 0; r = tw::ContinueSearch(rec)) {
            if (rec.Name != u"." && rec.Name != u"..") out[rec.Name] = rec.Attr;
        }
        return out;
    }
};

// The drive root of a real system holds hidden and system folders (the
// recycle bin, System Volume Information) that mask 16 must never return.
TEST_F(WinFiles, MaskSixteenSkipsHiddenAndSystemEntriesByTheirAttributes) {
    Build(u"S1\\ \n RECYCLER\\ \n System Volume Information\\ \n Hid\\ \n a.txt \n pagefile.sys \n hid.txt");
    AddAttributes(u"RECYCLER", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    AddAttributes(u"System Volume Information", FILE_ATTRIBUTE_SYSTEM);
    AddAttributes(u"Hid", FILE_ATTRIBUTE_HIDDEN);
    AddAttributes(u"pagefile.sys", FILE_ATTRIBUTE_SYSTEM);
    AddAttributes(u"hid.txt", FILE_ATTRIBUTE_HIDDEN);

    const auto visible = List(Path(u"*.*"), tw::faDirectory);
    EXPECT_EQ(visible.size(), 2u);
    EXPECT_TRUE(visible.count(u"S1"));
    EXPECT_TRUE(visible.count(u"a.txt"));

    const struct {
        String name;
        std::int32_t bits;  // of directory, hidden and system
    } all[] = {
        {u"S1", tw::faDirectory},
        {u"RECYCLER", tw::faDirectory | tw::faHidden | tw::faSysFile},
        {u"System Volume Information", tw::faDirectory | tw::faSysFile},
        {u"Hid", tw::faDirectory | tw::faHidden},
        {u"a.txt", 0},
        {u"pagefile.sys", tw::faSysFile},
        {u"hid.txt", tw::faHidden},
    };
    const auto listed = List(Path(u"*.*"), tw::faAnyFile);
    EXPECT_EQ(listed.size(), std::size(all));
    for (const auto& e : all) {
        const auto it = listed.find(e.name);
        ASSERT_NE(it, listed.end()) << U8(e.name);
        EXPECT_EQ(it->second & (tw::faDirectory | tw::faHidden | tw::faSysFile), e.bits) << U8(e.name);
    }
}

// While a file is hashed no one may change it; other readers are welcome.
TEST_F(WinFiles, OpenForReadingSharesTheFileForReadingOnly) {
    WriteFile(u"S1\\a.txt", "contents");
    {
        const auto stream = tw::OpenForReading(Path(u"S1\\a.txt"));
        EXPECT_FALSE(OpenFile(u"S1\\a.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE)->Open());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_TRUE(OpenFile(u"S1\\a.txt", GENERIC_READ, FILE_SHARE_READ)->Open());
        EXPECT_NE(tw::OpenForReading(Path(u"S1\\a.txt")), nullptr);
        EXPECT_NE(tw::CopyFileReplacing(Path(u"S1\\a.txt"), Path(u"S1\\b.txt")), 0);  // a copy only reads it
    }
    // A file that another process is writing cannot be opened, even when the
    // writer shares it.
    const auto writer = OpenFile(u"S1\\a.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(writer->Open());
    try {
        tw::OpenForReading(Path(u"S1\\a.txt"));
        ADD_FAILURE() << "opened while being written";
    } catch (const tw::EFOpenError& e) {
        EXPECT_NE(U8(e.Message()).find(U8(Path(u"S1\\a.txt"))), std::string::npos) << U8(e.Message());
    }
}

TEST_F(WinFiles, CopyRefusesATargetInUseOrHiddenByItsAttribute) {
    Build(u"S1\\a.txt=new \n S2\\busy.txt=old \n S2\\hid.txt=old \n S2\\ro.txt=old");
    AddAttributes(u"S2\\hid.txt", FILE_ATTRIBUTE_HIDDEN);
    AddAttributes(u"S2\\ro.txt", FILE_ATTRIBUTE_READONLY);
    {
        const auto holder = OpenFile(u"S2\\busy.txt", GENERIC_READ, 0);
        ASSERT_TRUE(holder->Open());
        EXPECT_EQ(tw::CopyFileReplacing(Path(u"S1\\a.txt"), Path(u"S2\\busy.txt")), 0);
    }
    EXPECT_EQ(tw::CopyFileReplacing(Path(u"S1\\a.txt"), Path(u"S2\\hid.txt")), 0);
    EXPECT_EQ(tw::CopyFileReplacing(Path(u"S1\\a.txt"), Path(u"S2\\ro.txt")), 0);
    SetFileAttributesW(Wide(Path(u"S2\\ro.txt")).c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesW(Wide(Path(u"S2\\hid.txt")).c_str(), FILE_ATTRIBUTE_NORMAL);
    for (const String rel : {u"S2\\busy.txt", u"S2\\hid.txt", u"S2\\ro.txt"}) EXPECT_EQ(ReadFile(rel), "old") << U8(rel);

    // Once the holder has gone the same copy goes through.
    EXPECT_NE(tw::CopyFileReplacing(Path(u"S1\\a.txt"), Path(u"S2\\busy.txt")), 0);
    EXPECT_EQ(ReadFile(u"S2\\busy.txt"), "new");
}

// The copy goes to a new file beside the target that then replaces it: a
// second name of the target (a hard link) keeps the old contents, a failed
// copy leaves the target and no temporary file behind, and a temporary file
// left by a copy cut off by a crash is never listed.
TEST_F(WinFiles, CopyReplacesTheTargetInOneStep) {
    Build(u"S1\\a.txt=new \n S2\\t.txt=old \n S2\\.~tidewell-0123456789.partial=cut off");
    ASSERT_TRUE(CreateHardLinkW(Wide(Path(u"S2\\other.txt")).c_str(), Wide(Path(u"S2\\t.txt")).c_str(), nullptr));
    EXPECT_NE(tw::CopyFileReplacing(Path(u"S1\\a.txt"), Path(u"S2\\t.txt")), 0);
    EXPECT_EQ(ReadFile(u"S2\\t.txt"), "new");
    EXPECT_EQ(ReadFile(u"S2\\other.txt"), "old");

    {
        const auto holder = OpenFile(u"S1\\a.txt", GENERIC_READ, 0);  // the source cannot be read
        ASSERT_TRUE(holder->Open());
        EXPECT_EQ(tw::CopyFileReplacing(Path(u"S1\\a.txt"), Path(u"S2\\other.txt")), 0);
    }
    EXPECT_EQ(ReadFile(u"S2\\other.txt"), "old");

    std::vector<std::string> listed;
    tw::TSearchRec rec;
    for (int r = tw::StartSearch(Path(u"S2\\*.*"), 511, rec); r == 0; r = tw::ContinueSearch(rec)) listed.push_back(U8(rec.Name));
    tw::EndSearch(rec);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{".", "..", "other.txt", "t.txt"}));
}

class WinEnsureDirectory : public WinFiles {
protected:
    std::string Failure(const String& path) {
        try {
            tw::EnsureDirectory(path);
            return {};
        } catch (const tw::EInOutError& e) {
            return U8(e.Message());
        }
    }
};

TEST_F(WinEnsureDirectory, ADriveThatDoesNotExist) {
    const DWORD drives = GetLogicalDrives();
    char16_t letter = u'Z';
    while (letter > u'D' && (drives & (1u << (letter - u'A'))) != 0) --letter;
    ASSERT_EQ(drives & (1u << (letter - u'A')), 0u) << "every letter is taken";
    const String path = String(1, letter) + u":\\S1\\New\\";
    EXPECT_EQ(Failure(path), "The drive cannot be found\r\n[" + U8(path) + "]");
}

TEST_F(WinEnsureDirectory, PathsAreMadeAbsoluteFirst) {
    Build(u"S1\\");
    wchar_t saved[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, saved), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(Wide(Path(u"S1")).c_str()));
    const std::string relative = Failure(u"New\\Sub\\");
    const std::string dotted = Failure(Path(u"S1\\New\\..\\Other\\."));
    SetCurrentDirectoryW(saved);
    EXPECT_EQ(relative, "");
    EXPECT_TRUE(tw::IsDirectory(Path(u"S1\\New\\Sub")));
    EXPECT_EQ(dotted, "");
    EXPECT_TRUE(tw::IsDirectory(Path(u"S1\\Other")));

    // The \\?\ form is taken as it is, its drive letter included; a second
    // colon is not.
    EXPECT_EQ(Failure(u"\\\\?\\" + Path(u"S1\\Long\\Way\\")), "");
    EXPECT_TRUE(tw::IsDirectory(Path(u"S1\\Long\\Way")));
    EXPECT_EQ(Failure(u"\\\\?\\" + Path(u"S1\\a:b\\")), "The path format is not supported");
}

}  // namespace

#endif  // _WIN32
