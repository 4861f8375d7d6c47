// Profile (INI) files on Windows, through the private-profile functions.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "platform/win/win_util.h"

namespace tw {

using win::ToWide;

namespace {

constexpr DWORD kReadBuffer = 2048;

// A code unit 0 would cut the text short where the profile functions read
// it, so such text is refused rather than stored shortened.
bool HasNul(StringView text) { return text.find(u'\0') != StringView::npos; }

// A line break in a name or value would start a line of its own in the file
// (a forged section or key), so each becomes a blank, as on every system.
std::wstring OneLine(StringView text) {
    std::wstring out(text.begin(), text.end());
    for (auto& c : out) {
        if (c == L'\r' || c == L'\n') c = L' ';
    }
    return out;
}

// WritePrivateProfileStringW creates a missing file in the ANSI code page,
// losing every character outside it. A file that starts with the UTF-16LE
// byte-order mark is kept in UTF-16, so a missing file, or an empty one that
// has no encoding yet, is given just that mark first. Files with content keep
// their encoding. True when this call created the file.
bool PrepareUnicodeProfile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;  // cannot be made or opened: the write will tell
    const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
    LARGE_INTEGER size{};
    bool ok = true;
    if (GetFileSizeEx(file, &size) && size.QuadPart == 0) {
        static const unsigned char kBom[2] = {0xFF, 0xFE};
        DWORD written = 0;
        ok = WriteFile(file, kBom, sizeof kBom, &written, nullptr) && written == sizeof kBom;
    }
    CloseHandle(file);
    if (!ok && created) DeleteFileW(path.c_str());
    return ok && created;
}

bool IsBlank(wchar_t c) { return c <= L' '; }

// How many sections of the file carry this name (letter case and the blanks
// around it aside). Read through the profile functions, so that they and
// this count see the same sections.
int CountSections(const std::wstring& file, const std::wstring& section) {
    std::size_t b = 0;
    std::size_t e = section.size();
    while (b < e && IsBlank(section[b])) ++b;
    while (e > b && IsBlank(section[e - 1])) --e;
    const std::wstring want = section.substr(b, e - b);
    // The file is at most kMaxProfileBytes, so its names fit in as many code units.
    std::vector<wchar_t> names(4096);
    for (;;) {
        const DWORD n = GetPrivateProfileSectionNamesW(names.data(), static_cast<DWORD>(names.size()), file.c_str());
        if (n + 2 < names.size() || names.size() > static_cast<std::size_t>(kMaxProfileBytes)) break;
        names.assign(names.size() * 4, L'\0');
    }
    int count = 0;
    for (const wchar_t* name = names.data(); *name != L'\0'; name += wcslen(name) + 1) {
        if (CompareStringOrdinal(name, -1, want.c_str(), static_cast<int>(want.size()), TRUE) == CSTR_EQUAL) ++count;
    }
    return count;
}

[[noreturn]] void WriteFailed(const String& path) { throw EIniFileException(u"Unable to write to " + path); }

// A file that exists but cannot be read is neither read nor written: the
// profile functions would read a huge one whole, and would take one they
// cannot open for empty and write over it.
void RefuseUnreadable(const TIniFile& ini) {
    const TProfileState state = ini.State();
    if (state != TProfileState::Missing && state != TProfileState::Readable) WriteFailed(ini.FileName());
}

}  // namespace

TIniFile::TIniFile(String path) : path_(std::move(path)) {}

TIniFile::~TIniFile() { FlushProfile(); }

TProfileState TIniFile::State() const {
    std::wstring file;
    if (!ToWide(path_, file)) return TProfileState::Missing;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) {
        const DWORD err = GetLastError();
        return err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION ? TProfileState::Unreadable
                                                                             : TProfileState::Missing;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return TProfileState::NotAFile;
    const std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (size > static_cast<std::uint64_t>(kMaxProfileBytes)) return TProfileState::TooLarge;
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        // Held by another program for a moment: the profile functions wait their turn as before.
        return GetLastError() == ERROR_ACCESS_DENIED ? TProfileState::Unreadable : TProfileState::Readable;
    }
    const bool disk = GetFileType(handle) == FILE_TYPE_DISK;
    CloseHandle(handle);
    return disk ? TProfileState::Readable : TProfileState::NotAFile;
}

String TIniFile::ReadValue(StringView section, StringView key) const {
    std::wstring file;
    std::wstring sec;
    std::wstring name;
    if (!ToWide(path_, file) || !ToWide(section, sec) || !ToWide(key, name)) return String();
    if (State() != TProfileState::Readable) return String();
    wchar_t buffer[kReadBuffer];
    const DWORD length =
        GetPrivateProfileStringW(sec.c_str(), name.c_str(), L"", buffer, kReadBuffer, file.c_str());
    return win::FromWide(buffer, std::min<DWORD>(length, kReadBuffer - 1));
}

void TIniFile::WriteValue(StringView section, StringView key, StringView value) {
    std::wstring file;
    bool ok = false;
    if (ToWide(path_, file) && !HasNul(section) && !HasNul(key) && !HasNul(value)) {
        RefuseUnreadable(*this);
        const bool created = PrepareUnicodeProfile(file);
        ok = WritePrivateProfileStringW(OneLine(section).c_str(), OneLine(key).c_str(), OneLine(value).c_str(),
                                        file.c_str()) != 0;
        if (!ok && created) DeleteFileW(file.c_str());  // leave no empty file behind a refused write
    }
    if (!ok) WriteFailed(path_);
}

void TIniFile::DropSection(StringView section) {
    std::wstring file;
    if (!ToWide(path_, file) || HasNul(section)) WriteFailed(path_);
    RefuseUnreadable(*this);
    // The profile functions drop the first section of the name only; a copy
    // left behind would come into view with its stale entries. Once at
    // least, so that a file that cannot be written says so.
    const std::wstring name = OneLine(section);
    const int copies = std::max(1, CountSections(file, name));
    for (int i = 0; i < copies; ++i) {
        if (!WritePrivateProfileStringW(name.c_str(), nullptr, nullptr, file.c_str())) WriteFailed(path_);
    }
}

void TIniFile::FlushProfile() {
    std::wstring file;
    if (ToWide(path_, file)) WritePrivateProfileStringW(nullptr, nullptr, nullptr, file.c_str());
}

}  // namespace tw
