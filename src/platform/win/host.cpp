// Host paths on Windows: drives are real, so there is no drive table and a
// Windows path is its own host path.
#include <algorithm>

#include "platform/platform.h"
#include "platform/win/win_util.h"

namespace tw {

String WindowsPathFromHost(std::string_view hostPathUtf8) {
    String path = FromUtf8(hostPathUtf8);
    std::replace(path.begin(), path.end(), u'/', u'\\');
    return path;
}

bool MapDrive(StringView, const std::string&) { return false; }
void UnmapDrive(StringView) {}
void ResetDriveTable() {}
void LoadDrivesFromProfile(StringView) {}

std::string HostPathOf(StringView windowsPath) { return ToUtf8(windowsPath); }

namespace win {

String SystemErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    String text;
    if (length != 0 && buffer != nullptr) {
        text = FromWide(buffer, length);
        LocalFree(buffer);
    }
    while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n')) text.pop_back();
    if (text.empty()) text = FromUtf8("System error " + std::to_string(code));
    return text;
}

}  // namespace win
}  // namespace tw
