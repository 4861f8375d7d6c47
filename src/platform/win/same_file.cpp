// IsSameFile on Windows: volume serial number and file index of both paths.
#include "platform/win/win_util.h"

namespace tw {

namespace {

bool Identify(StringView path, BY_HANDLE_FILE_INFORMATION& info) {
    std::wstring wide;
    if (!win::ToWide(path, wide)) return false;
    // No access asked for and every sharing mode allowed: a file a server
    // holds open is still identified. Backup semantics open folders too.
    const HANDLE h = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const BOOL ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    return ok != FALSE;
}

}  // namespace

bool IsSameFile(StringView a, StringView b) {
    BY_HANDLE_FILE_INFORMATION ia{};
    BY_HANDLE_FILE_INFORMATION ib{};
    if (!Identify(a, ia) || !Identify(b, ib)) return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

}  // namespace tw
