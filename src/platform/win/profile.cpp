// Profile (INI) files on Windows, through the private-profile functions.
#include "platform/platform.h"
#include "platform/win/win_util.h"

namespace tw {

using win::ToWide;

namespace {

constexpr DWORD kReadBuffer = 2048;

// Text that the profile functions cannot store as it is: a code unit 0 would
// cut it short, and a line break would split the entry into lines of its own.
bool Storable(StringView text) { return text.find_first_of(StringView(u"\0\r\n", 3)) == StringView::npos; }

// WritePrivateProfileStringW creates a missing file in the ANSI code page,
// losing every character outside it. A file that starts with the UTF-16LE
// byte-order mark is kept in UTF-16, so a missing file is created as just
// that mark. True when this call created the file.
bool CreateUnicodeProfile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;  // exists already, or cannot be made: the write will tell
    static const unsigned char kBom[2] = {0xFF, 0xFE};
    DWORD written = 0;
    const bool ok = WriteFile(file, kBom, sizeof kBom, &written, nullptr) && written == sizeof kBom;
    CloseHandle(file);
    if (!ok) DeleteFileW(path.c_str());
    return ok;
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
    std::wstring sec;
    std::wstring name;
    std::wstring text;
    const bool valid = ToWide(path_, file) && Storable(section) && Storable(key) && Storable(value) &&
                       ToWide(section, sec) && ToWide(key, name) && ToWide(value, text);
    bool ok = false;
    if (valid) {
        const bool created = CreateUnicodeProfile(file);
        ok = WritePrivateProfileStringW(sec.c_str(), name.c_str(), text.c_str(), file.c_str()) != 0;
        if (!ok && created) DeleteFileW(file.c_str());  // leave no empty file behind a refused write
    }
    if (!ok) throw EIniFileException(u"Unable to write to " + path_);
}

void TIniFile::DropSection(StringView section) {
    std::wstring file;
    std::wstring sec;
    const bool valid = ToWide(path_, file) && Storable(section) && ToWide(section, sec);
    if (!valid || !WritePrivateProfileStringW(sec.c_str(), nullptr, nullptr, file.c_str())) {
        throw EIniFileException(u"Unable to write to " + path_);
    }
}

void TIniFile::FlushProfile() {
    std::wstring file;
    if (ToWide(path_, file)) WritePrivateProfileStringW(nullptr, nullptr, nullptr, file.c_str());
}

}  // namespace tw
