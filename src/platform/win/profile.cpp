// Profile (INI) files on Windows, through the private-profile functions.
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

}  // namespace

TIniFile::TIniFile(String path) : path_(std::move(path)) {}

TIniFile::~TIniFile() { FlushProfile(); }

String TIniFile::ReadValue(StringView section, StringView key) const {
    std::wstring file;
    std::wstring sec;
    std::wstring name;
    if (!ToWide(path_, file) || !ToWide(section, sec) || !ToWide(key, name)) return String();
    wchar_t buffer[kReadBuffer];
    const DWORD length =
        GetPrivateProfileStringW(sec.c_str(), name.c_str(), L"", buffer, kReadBuffer, file.c_str());
    return win::FromWide(buffer, std::min<DWORD>(length, kReadBuffer - 1));
}

void TIniFile::WriteValue(StringView section, StringView key, StringView value) {
    std::wstring file;
    bool ok = false;
    if (ToWide(path_, file) && !HasNul(section) && !HasNul(key) && !HasNul(value)) {
        const bool created = PrepareUnicodeProfile(file);
        ok = WritePrivateProfileStringW(OneLine(section).c_str(), OneLine(key).c_str(), OneLine(value).c_str(),
                                        file.c_str()) != 0;
        if (!ok && created) DeleteFileW(file.c_str());  // leave no empty file behind a refused write
    }
    if (!ok) throw EIniFileException(u"Unable to write to " + path_);
}

void TIniFile::DropSection(StringView section) {
    std::wstring file;
    const bool valid = ToWide(path_, file) && !HasNul(section);
    if (!valid || !WritePrivateProfileStringW(OneLine(section).c_str(), nullptr, nullptr, file.c_str())) {
        throw EIniFileException(u"Unable to write to " + path_);
    }
}

void TIniFile::FlushProfile() {
    std::wstring file;
    if (ToWide(path_, file)) WritePrivateProfileStringW(nullptr, nullptr, nullptr, file.c_str());
}

}  // namespace tw
