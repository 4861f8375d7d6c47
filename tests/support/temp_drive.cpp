#include "support/temp_drive.h"

#include <ctime>
#include <filesystem>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <cstring>
#include <cwctype>
#else
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#endif

namespace twtest {

std::string U8(std::u16string_view text) { return tw::ToUtf8(text); }

std::string Utf16Le(std::u16string_view text) {
    std::string out;
    for (const char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

namespace {

// The parent levels of rel ("a\b\c" gives "a", "a\b"), top first.
std::vector<std::u16string> ParentLevels(std::u16string_view rel) {
    std::vector<std::u16string> levels;
    for (std::size_t i = rel.find(u'\\'); i != std::u16string_view::npos; i = rel.find(u'\\', i + 1)) {
        if (i > 0) levels.emplace_back(rel.substr(0, i));
    }
    return levels;
}

}  // namespace

#ifdef _WIN32

// ---------------------------------------------------------------- Windows

namespace {

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::u16string FromWide(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

std::wstring HostOf(const std::string& hostUtf8) {
    return Wide(tw::FromUtf8(hostUtf8));
}

bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Wine resolves drive letters through the links in its prefix's dosdevices
// folder, which DefineDosDevice does not touch; its mount manager makes and
// removes those links (winecfg uses the same request). The request layout is
// Wine's own (mountmgr_unix_drive); the unix folder follows it.
struct WineUnixDrive {
    ULONG size;
    ULONG type;
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset;
    USHORT deviceOffset;
    USHORT labelOffset;
};
constexpr DWORD kWineDefineUnixDrive = 0x6DC080;  // CTL_CODE('m', 32, METHOD_BUFFERED, read and write access)

bool WineDefineDrive(wchar_t letter, const char* unixFolder) {
    HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE) return false;
    const std::size_t folderBytes = unixFolder != nullptr ? std::strlen(unixFolder) + 1 : 0;
    std::vector<char> request(sizeof(WineUnixDrive) + folderBytes, '\0');
    auto* drive = reinterpret_cast<WineUnixDrive*>(request.data());
    drive->size = static_cast<ULONG>(request.size());
    drive->type = unixFolder != nullptr ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;  // the latter removes the letter
    drive->letter = static_cast<WCHAR>(towlower(letter));
    if (unixFolder != nullptr) {
        drive->mountPointOffset = sizeof(WineUnixDrive);
        std::memcpy(request.data() + sizeof(WineUnixDrive), unixFolder, folderBytes);
    }
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(manager, kWineDefineUnixDrive, request.data(), static_cast<DWORD>(request.size()),
                                    nullptr, 0, &returned, nullptr);
    CloseHandle(manager);
    return ok != FALSE;
}

// The unix path of a Windows path (Wine's kernel32 export).
std::string WineUnixPath(const std::wstring& path) {
    using Fn = char*(CDECL*)(const wchar_t*);
    const auto fn = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (fn == nullptr) return {};
    char* unix = fn(path.c_str());
    if (unix == nullptr) return {};
    std::string out(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    return out;
}

bool MapLetter(const std::u16string& drive, const std::wstring& folder) {
    if (UnderWine()) {
        const std::string unix = WineUnixPath(folder);
        return !unix.empty() && WineDefineDrive(static_cast<wchar_t>(drive[0]), unix.c_str());
    }
    return DefineDosDeviceW(0, Wide(drive).c_str(), folder.c_str()) != FALSE;
}

void UnmapLetter(const std::u16string& drive, const std::wstring& folder) {
    if (UnderWine()) {
        WineDefineDrive(static_cast<wchar_t>(drive[0]), nullptr);
    } else {
        DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, Wide(drive).c_str(), folder.c_str());
    }
}

// Test processes run side by side and drive letters belong to the whole
// session: picking, mapping and unmapping happen under one named lock.
class LetterLock {
public:
    LetterLock() : mutex_(CreateMutexW(nullptr, FALSE, L"Local\\TidewellTestDriveLetters")) {
        if (mutex_ != nullptr) WaitForSingleObject(mutex_, 30000);
    }
    ~LetterLock() {
        if (mutex_ != nullptr) {
            ReleaseMutex(mutex_);
            CloseHandle(mutex_);
        }
    }
    LetterLock(const LetterLock&) = delete;
    LetterLock& operator=(const LetterLock&) = delete;

private:
    HANDLE mutex_;
};

// Maps a letter that names nothing (and is not in avoid) to folder and checks
// that it leads there; empty when none does. Wine's mount manager may not yet
// be done with a letter another test process has just let go, so a letter is
// trusted only once a marker placed in folder shows through it, and the
// search starts at a letter of this process's own to make such reuse rare.
// (Under Wine a test process that dies before its TearDown leaves its letters
// in the prefix; cmake/wine-run.sh clears them when it starts a session.)
std::u16string MapFreeLetter(const std::wstring& folder, DWORD avoid) {
    const std::wstring markerName = L"\\tidewell-drive-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring marker = folder + markerName;
    HANDLE h = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    CloseHandle(h);

    constexpr int kLetters = 'Y' - 'D' + 1;  // D: to Y:
    const int first = static_cast<int>(GetCurrentProcessId() % kLetters);
    std::u16string found;
    for (int i = 0; i < kLetters && found.empty(); ++i) {
        const auto letter = static_cast<char16_t>(u'D' + (first + i) % kLetters);
        if (((GetLogicalDrives() | avoid) & (1u << (letter - u'A'))) != 0) continue;
        const std::u16string drive = std::u16string(1, letter) + u":";
        if (!MapLetter(drive, folder)) continue;
        if (GetFileAttributesW((Wide(drive) + markerName).c_str()) != INVALID_FILE_ATTRIBUTES) {
            found = drive;
        } else {
            UnmapLetter(drive, folder);
        }
    }
    DeleteFileW(marker.c_str());
    return found;
}

void MakeHostDir(const std::wstring& path) {
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        ADD_FAILURE() << "CreateDirectoryW failed (" << GetLastError() << ")";
    }
}

void ClearAttributesAndRemove(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring full = folder + L"\\" + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                ClearAttributesAndRemove(full);
            } else {
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(h, &data));
        FindClose(h);
    }
    SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

void TempDrive::SetUp() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    ASSERT_GT(n, 0u);
    static int counter = 0;
    const std::wstring base = std::wstring(temp, n) + L"tidewell-test-" + std::to_wstring(GetCurrentProcessId()) +
                              L"-" + std::to_wstring(++counter);
    MakeHostDir(base);
    MakeHostDir(base + L"\\D");
    MakeHostDir(base + L"\\C");
    hostRoot_ = tw::ToUtf8(FromWide(base + L"\\D"));
    hostCRoot_ = tw::ToUtf8(FromWide(base + L"\\C"));

    // C: is the system's own drive on Windows, so the history drive is
    // another free letter; tests use CDrive().
    LetterLock lock;
    drive_ = MapFreeLetter(HostOf(hostRoot_), 0);
    ASSERT_FALSE(drive_.empty()) << "no drive letter could be mapped to " << hostRoot_;
    cdrive_ = MapFreeLetter(HostOf(hostCRoot_), 1u << (drive_[0] - u'A'));
    ASSERT_FALSE(cdrive_.empty()) << "no second drive letter could be mapped to " << hostCRoot_;
}

void TempDrive::TearDown() {
    // Letters first: a mapped letter must never lead to a folder that is gone.
    {
        LetterLock lock;
        if (!drive_.empty()) UnmapLetter(drive_, HostOf(hostRoot_));
        if (!cdrive_.empty()) UnmapLetter(cdrive_, HostOf(hostCRoot_));
    }
    if (!hostRoot_.empty()) {
        std::wstring base = HostOf(hostRoot_);
        base.resize(base.size() - 2);  // drop "\D"
        ClearAttributesAndRemove(base);
    }
}

std::string TempDrive::Host(std::u16string_view rel) const {
    return rel.empty() ? hostRoot_ : hostRoot_ + "\\" + U8(rel);
}

void TempDrive::MakeDir(std::u16string_view rel) {
    for (const auto& level : ParentLevels(rel)) MakeHostDir(HostOf(Host(level)));
    std::u16string whole(rel);
    while (!whole.empty() && whole.back() == u'\\') whole.pop_back();
    if (!whole.empty()) MakeHostDir(HostOf(Host(whole)));
}

void TempDrive::WriteFile(std::u16string_view rel, std::string_view bytes) {
    for (const auto& level : ParentLevels(rel)) MakeHostDir(HostOf(Host(level)));
    HANDLE h = CreateFileW(HostOf(Host(rel)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "cannot create " << Host(rel);
    DWORD written = 0;
    const BOOL ok = bytes.empty() || ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    ASSERT_TRUE(ok && written == bytes.size()) << "cannot write " << Host(rel);
}

std::string TempDrive::ReadFile(std::u16string_view rel) const {
    HANDLE h = CreateFileW(HostOf(Host(rel)).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot open " << Host(rel);
        return {};
    }
    std::string out;
    char buffer[65536];
    DWORD n = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0) out.append(buffer, n);
    CloseHandle(h);
    return out;
}

bool TempDrive::Exists(std::u16string_view rel) const {
    return GetFileAttributesW(HostOf(Host(rel)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void TempDrive::SetMTime(std::u16string_view rel, std::int64_t unixSeconds, std::int64_t nanos) {
    HANDLE h = CreateFileW(HostOf(Host(rel)).c_str(), FILE_WRITE_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "cannot open " << Host(rel);
    const std::int64_t ticks = unixSeconds * 10000000 + nanos / 100 + 116444736000000000LL;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
    ft.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
    const BOOL ok = SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
    ASSERT_TRUE(ok) << "cannot set the time of " << Host(rel);
}

void TempDrive::SetHidden(std::u16string_view rel) {
    const std::wstring host = HostOf(Host(rel));
    const DWORD attr = GetFileAttributesW(host.c_str());
    ASSERT_NE(attr, INVALID_FILE_ATTRIBUTES) << Host(rel);
    ASSERT_TRUE(SetFileAttributesW(host.c_str(), attr | FILE_ATTRIBUTE_HIDDEN));
}

void TempDrive::SetReadOnly(std::u16string_view rel, bool readOnly) {
    const std::wstring host = HostOf(Host(rel));
    const DWORD attr = GetFileAttributesW(host.c_str());
    ASSERT_NE(attr, INVALID_FILE_ATTRIBUTES) << Host(rel);
    const DWORD next = readOnly ? (attr | FILE_ATTRIBUTE_READONLY) : (attr & ~DWORD{FILE_ATTRIBUTE_READONLY});
    ASSERT_TRUE(SetFileAttributesW(host.c_str(), next));
}

#else

// ---------------------------------------------------------------- Linux

namespace {

void MakeHostDir(const std::string& path) {
    if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
        ADD_FAILURE() << "mkdir " << path << ": " << std::strerror(errno);
    }
}

// Gives the owner every right on every folder so that the tree can go,
// whatever a test left read-only.
void MakeRemovable(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) MakeRemovable(it->path());
    }
}

}  // namespace

void TempDrive::SetUp() {
    std::error_code ec;
    const std::string temp = std::filesystem::temp_directory_path(ec).string();
    std::string pattern = (ec ? std::string("/tmp") : temp) + "/tidewell-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
    hostRoot_ = pattern + "/D";
    hostCRoot_ = pattern + "/C";
    MakeHostDir(hostRoot_);
    MakeHostDir(hostCRoot_);
    drive_ = u"D:";
    cdrive_ = u"C:";
    ASSERT_TRUE(tw::MapDrive(drive_, hostRoot_));
    ASSERT_TRUE(tw::MapDrive(cdrive_, hostCRoot_));
}

void TempDrive::TearDown() {
    tw::ResetDriveTable();
    if (hostRoot_.empty()) return;
    const std::filesystem::path base = std::filesystem::path(hostRoot_).parent_path();
    MakeRemovable(base);
    std::error_code ec;
    std::filesystem::remove_all(base, ec);
}

std::string TempDrive::Host(std::u16string_view rel) const {
    std::string path = U8(rel);
    for (auto& c : path) c = c == '\\' ? '/' : c;
    return path.empty() ? hostRoot_ : hostRoot_ + "/" + path;
}

void TempDrive::MakeDir(std::u16string_view rel) {
    for (const auto& level : ParentLevels(rel)) MakeHostDir(Host(level));
    std::u16string whole(rel);
    while (!whole.empty() && whole.back() == u'\\') whole.pop_back();
    if (!whole.empty()) MakeHostDir(Host(whole));
}

void TempDrive::WriteFile(std::u16string_view rel, std::string_view bytes) {
    for (const auto& level : ParentLevels(rel)) MakeHostDir(Host(level));
    std::ofstream out(Host(rel), std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(out) << "cannot create " << Host(rel);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    ASSERT_TRUE(out) << "cannot write " << Host(rel);
}

std::string TempDrive::ReadFile(std::u16string_view rel) const {
    std::ifstream in(Host(rel), std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot open " << Host(rel);
        return {};
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool TempDrive::Exists(std::u16string_view rel) const {
    struct stat st {};
    return lstat(Host(rel).c_str(), &st) == 0;
}

void TempDrive::SetMTime(std::u16string_view rel, std::int64_t unixSeconds, std::int64_t nanos) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(unixSeconds), static_cast<long>(nanos)}};
    ASSERT_EQ(utimensat(AT_FDCWD, Host(rel).c_str(), times, 0), 0) << Host(rel) << ": " << std::strerror(errno);
}

void TempDrive::SetHidden(std::u16string_view rel) {
    // On Linux a name that begins with '.' is what makes an entry hidden, so
    // a portable test names the entry that way and calls this as well.
    const std::u16string name(tw::NamePart(rel));
    ASSERT_TRUE(!name.empty() && name[0] == u'.') << U8(rel) << ": on Linux only names beginning with '.' are hidden";
    ASSERT_TRUE(Exists(rel)) << Host(rel);
}

void TempDrive::SetReadOnly(std::u16string_view rel, bool readOnly) {
    struct stat st {};
    ASSERT_EQ(stat(Host(rel).c_str(), &st), 0) << Host(rel);
    const mode_t mode = readOnly ? (st.st_mode & ~mode_t{S_IWUSR | S_IWGRP | S_IWOTH}) : (st.st_mode | S_IWUSR);
    ASSERT_EQ(chmod(Host(rel).c_str(), mode & 07777), 0) << Host(rel);
}

#endif

// ---------------------------------------------------------------- both systems

tw::String TempDrive::Path(std::u16string_view rel) const { return drive_ + u"\\" + tw::String(rel); }

std::int64_t TempDrive::LocalTime(int year, int month, int day, int hour, int minute, int second) {
    struct tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return static_cast<std::int64_t>(mktime(&t));
}

void TempDrive::Build(std::u16string_view description) {
    std::size_t start = 0;
    while (start <= description.size()) {
        std::size_t end = description.find_first_of(u"\r\n", start);
        if (end == std::u16string_view::npos) end = description.size();
        const std::u16string line = tw::TrimBlanks(description.substr(start, end - start));
        start = end + 1;
        if (line.empty()) continue;
        const std::size_t eq = line.find(u'=');
        if (eq != std::u16string::npos) {
            std::u16string content;
            for (const char16_t c : line.substr(eq + 1)) content += c == u'|' ? std::u16string(u"\r\n") : std::u16string(1, c);
            WriteFile(line.substr(0, eq), U8(content));
        } else if (line.back() == u'\\') {
            MakeDir(line);
        } else {
            WriteFile(line, "");
        }
    }
}

}  // namespace twtest
