// File system on Windows: attribute tests, the directory search, reading,
// copying and creating folder paths, on the Win32 wide-character functions.
#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/path_parse.h"
#include "platform/platform.h"
#include "platform/win/win_util.h"

namespace tw {

using win::LastErrorOr;
using win::SystemErrorText;
using win::ToWide;

// ---------------------------------------------------------------- file and folder tests

namespace {

DWORD AttributesOf(StringView path) {
    std::wstring wide;
    if (!ToWide(path, wide)) return INVALID_FILE_ATTRIBUTES;
    return GetFileAttributesW(wide.c_str());
}

}  // namespace

bool IsFile(StringView path) {
    const DWORD attr = AttributesOf(path);
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsDirectory(StringView path) {
    const DWORD attr = AttributesOf(path);
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// ---------------------------------------------------------------- directory search

struct SearchHandle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW data{};

    SearchHandle() = default;
    SearchHandle(const SearchHandle&) = delete;
    SearchHandle& operator=(const SearchHandle&) = delete;
    ~SearchHandle() {
        if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
    }
};

TSearchRec::TSearchRec() = default;
TSearchRec::~TSearchRec() = default;
TSearchRec::TSearchRec(TSearchRec&&) noexcept = default;
TSearchRec& TSearchRec::operator=(TSearchRec&&) noexcept = default;

namespace {

// MS-DOS date-time of a FILETIME, in local time. The form covers 1980 to
// 2107 only; a stamp outside is pinned to the nearer end so that every entry
// carries a time that DosTimeToDateTime accepts. The range is checked here:
// Wine's FileTimeToDosDateTime lets years past 2107 wrap around.
std::int32_t DosTimeOf(const FILETIME& utc) {
    constexpr std::uint32_t kFirst = (((0u << 9) | (1u << 5) | 1u) << 16);  // 1980-01-01 00:00:00
    constexpr std::uint32_t kLast =
        (((127u << 9) | (12u << 5) | 31u) << 16) | ((23u << 11) | (59u << 5) | 29u);  // 2107-12-31 23:59:58
    constexpr std::uint64_t k1980 = 119600064000000000ull;  // 1980-01-01 00:00 UTC in FILETIME ticks

    FILETIME local{};
    SYSTEMTIME st{};
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) {
        const std::uint64_t ticks = (static_cast<std::uint64_t>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
        return static_cast<std::int32_t>(ticks < k1980 ? kFirst : kLast);
    }
    if (st.wYear < 1980) return static_cast<std::int32_t>(kFirst);
    if (st.wYear > 2107) return static_cast<std::int32_t>(kLast);
    WORD date = 0;
    WORD time = 0;
    if (!FileTimeToDosDateTime(&local, &date, &time)) {
        date = static_cast<WORD>(((st.wYear - 1980) << 9) | (st.wMonth << 5) | st.wDay);
        time = static_cast<WORD>((st.wHour << 11) | (st.wMinute << 5) | (st.wSecond / 2));
    }
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(date) << 16) | time);
}

void Fill(TSearchRec& rec) {
    const WIN32_FIND_DATAW& data = rec.FindHandle->data;
    rec.Time = DosTimeOf(data.ftLastWriteTime);
    rec.Size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                         data.nFileSizeLow);
    rec.Attr = static_cast<std::int32_t>(data.dwFileAttributes);
    rec.Name = win::FromWide(data.cFileName);
}

void ClearEntry(TSearchRec& rec) {
    rec.Time = 0;
    rec.Size = 0;
    rec.Attr = 0;
    rec.Name.clear();
}

// The temporary file a copy writes beside its target before the rename:
// ".~tidewell-" ten letters or digits ".partial", as on Linux.
constexpr std::wstring_view kTempPrefix = L".~tidewell-";
constexpr std::wstring_view kTempSuffix = L".partial";
constexpr std::wstring_view kTempAlphabet = L"abcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kTempRandom = 10;

bool IsTemporaryName(std::wstring_view name) {
    if (name.size() != kTempPrefix.size() + kTempRandom + kTempSuffix.size()) return false;
    std::wstring lower(name);
    for (wchar_t& c : lower) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    const std::wstring_view n = lower;
    return n.substr(0, kTempPrefix.size()) == kTempPrefix &&
           n.substr(n.size() - kTempSuffix.size()) == kTempSuffix &&
           n.substr(kTempPrefix.size(), kTempRandom).find_first_not_of(kTempAlphabet) == std::wstring_view::npos;
}

// Advances past entries that share a bit with ExcludeAttr, and past our own
// temporary files (a copy at work, or one cut off by a crash), which no
// listing may show; 0 when the current entry is one to return, otherwise the
// platform's code for running out.
int SkipExcluded(TSearchRec& rec) {
    SearchHandle& search = *rec.FindHandle;
    while ((search.data.dwFileAttributes & static_cast<DWORD>(rec.ExcludeAttr)) != 0 ||
           IsTemporaryName(search.data.cFileName)) {
        if (!FindNextFileW(search.handle, &search.data)) return LastErrorOr(ERROR_NO_MORE_FILES);
    }
    return 0;
}

}  // namespace

int StartSearch(StringView pattern, std::int32_t mask, TSearchRec& rec) {
    EndSearch(rec);  // a record reused without EndSearch must not leak its handle
    ClearEntry(rec);
    rec.ExcludeAttr = ~mask & (faHidden | faSysFile | faDirectory);

    std::wstring wide;
    if (!ToWide(pattern, wide)) return ERROR_INVALID_NAME;
    auto search = std::make_unique<SearchHandle>();
    search->handle = FindFirstFileW(wide.c_str(), &search->data);
    if (search->handle == INVALID_HANDLE_VALUE) return LastErrorOr(ERROR_FILE_NOT_FOUND);

    rec.FindHandle = std::move(search);
    if (const int code = SkipExcluded(rec); code != 0) {
        EndSearch(rec);
        return code;
    }
    Fill(rec);
    return 0;
}

int ContinueSearch(TSearchRec& rec) {
    if (!rec.FindHandle) return ERROR_INVALID_HANDLE;
    SearchHandle& search = *rec.FindHandle;
    if (!FindNextFileW(search.handle, &search.data)) return LastErrorOr(ERROR_NO_MORE_FILES);
    if (const int code = SkipExcluded(rec); code != 0) return code;
    Fill(rec);
    return 0;
}

void EndSearch(TSearchRec& rec) { rec.FindHandle.reset(); }

// FindNextFileW hands over every entry it meets; nothing is left out.
std::int32_t UnreadableEntries(const TSearchRec&) { return 0; }

bool SearchFoundNothing(int result) {
    return result == 0 || result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND ||
           result == ERROR_NO_MORE_FILES;
}

// Each folder is read whole and its search closed before its subfolders are
// listed, and the levels are kept in a list rather than on the stack.
std::size_t ListTree(StringView folder, const std::function<bool(const TTreeEntry&)>& visit) {
    struct Level {
        std::vector<TTreeEntry> entries;
        std::size_t next = 0;
    };
    std::size_t unreadable = 0;
    std::vector<Level> levels;
    const auto read = [&](const String& base) {
        Level level;
        TSearchRec rec;
        int result = StartSearch(base + u"*.*", faAnyFile, rec);
        if (result != 0) {
            if (!SearchFoundNothing(result)) ++unreadable;
            return;
        }
        do {
            if (rec.Name == u"." || rec.Name == u"..") continue;
            TTreeEntry entry{base + rec.Name, rec.Attr, {}};
            if ((rec.Attr & faDirectory) != 0 && !FileIdentity(entry.Path, entry.Id)) {
                ++unreadable;
                continue;
            }
            level.entries.push_back(std::move(entry));
        } while ((result = ContinueSearch(rec)) == 0);
        if (!SearchFoundNothing(result)) ++unreadable;
        EndSearch(rec);
        levels.push_back(std::move(level));
    };
    read(WithTrailingBackslash(folder));
    while (!levels.empty()) {
        Level& top = levels.back();
        if (top.next == top.entries.size()) {
            levels.pop_back();
            continue;
        }
        const TTreeEntry entry = top.entries[top.next++];
        if (visit(entry) && (entry.Attr & faDirectory) != 0) read(WithTrailingBackslash(entry.Path));
    }
    return unreadable;
}

bool FileIdentity(StringView path, TFileId& id) {
    std::wstring wide;
    if (!ToWide(path, wide)) return false;
    // No access rights are needed for the identity; backup semantics open folders too.
    HANDLE handle = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (!ok) return false;
    id.Volume = info.dwVolumeSerialNumber;
    id.Index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

// ---------------------------------------------------------------- reading

namespace {

class WinFileStream final : public TFileStream {
public:
    explicit WinFileStream(HANDLE handle) : handle_(handle) {}
    ~WinFileStream() override { CloseHandle(handle_); }
    WinFileStream(const WinFileStream&) = delete;
    WinFileStream& operator=(const WinFileStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override {
        auto* out = static_cast<char*>(buffer);
        std::size_t total = 0;
        while (total < count) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - total, 1u << 30));
            DWORD got = 0;
            if (!ReadFile(handle_, out + total, chunk, &got, nullptr) || got == 0) break;
            total += got;
        }
        return total;
    }

private:
    HANDLE handle_;
};

}  // namespace

std::unique_ptr<TFileStream> OpenForReading(StringView path) {
    std::wstring wide;
    DWORD code = ERROR_INVALID_NAME;
    if (ToWide(path, wide)) {
        // Shared for reading only: a writer already at work makes the open
        // fail, and no writer can start while the file is being hashed.
        HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (handle != INVALID_HANDLE_VALUE) return std::make_unique<WinFileStream>(handle);
        code = static_cast<DWORD>(LastErrorOr(ERROR_OPEN_FAILED));
    }
    throw EFOpenError(u"Cannot open file \"" + String(path) + u"\". " + SystemErrorText(code));
}

// ---------------------------------------------------------------- copying

int CopyFileReplacing(StringView source, StringView target) {
    std::wstring from;
    std::wstring to;
    if (!ToWide(source, from) || !ToWide(target, to)) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    // Windows refuses to replace a read-only or hidden target. Wine run as
    // root lets the copy through, so the rule is applied here, on the
    // attribute, for the same result everywhere.
    const DWORD attr = GetFileAttributesW(to.c_str());
    if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        (attr & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    // A file copied onto itself (another spelling, a hard link) is refused
    // before CopyFileW opens the target for writing, which could empty it.
    if (attr != INVALID_FILE_ATTRIBUTES) {
        TFileId a;
        TFileId b;
        if (FileIdentity(source, a) && FileIdentity(target, b) && a == b) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return 0;
        }
    }
    // CopyFileW writes into the target it opens: a copy that fails part-way
    // (a full disk, a source that cannot be read to its end) would leave the
    // target damaged. So the copy goes to a new file beside the target, which
    // then replaces it in one step; a target in use refuses the replacement
    // as it refuses CopyFileW.
    const std::size_t slash = to.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : to.substr(0, slash + 1);
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring temp = folder + std::wstring(kTempPrefix);
        // Names only need to differ; the exclusive create below decides.
        unsigned long long state = GetTickCount64() ^ (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) ^
                                   (++counter * 0x9E3779B97F4A7C15ull);
        for (std::size_t k = 0; k < kTempRandom; ++k) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            temp += kTempAlphabet[state % kTempAlphabet.size()];
        }
        temp += kTempSuffix;
        if (!CopyFileW(from.c_str(), temp.c_str(), TRUE)) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;  // a name in use: try another
            const DWORD error = GetLastError();
            DeleteFileW(temp.c_str());
            SetLastError(error);
            return 0;
        }
        if (!MoveFileExW(temp.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            const DWORD error = GetLastError();
            SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);  // a read-only source's copy
            DeleteFileW(temp.c_str());
            SetLastError(error);
            return 0;
        }
        return 1;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}

// ---------------------------------------------------------------- creating folder paths

namespace {

const String kCrLf = u"\r\n";

String Bracketed(StringView path) { return kCrLf + u"[" + String(path) + u"]"; }

bool HasDevicePrefix(StringView path) { return pathparse::HasDevicePrefix(path, pathparse::Separators::kBackslash); }

bool IsInvalidPathChar(char16_t c) {
    return c < 32 || c == u'"' || c == u'<' || c == u'>' || c == u'|' || c == u'*' || c == u'?';
}

// Long paths without \\?\ need Windows 10 version 1607 (build 14393).
// RtlGetVersion reports the real version whatever the manifest says.
bool HasLongPathSupport() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    static const bool supported = [] {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        auto fn = ntdll ? reinterpret_cast<RtlGetVersionFn>(
                              reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                        : nullptr;
        OSVERSIONINFOW info{};
        info.dwOSVersionInfoSize = sizeof(info);
        if (fn == nullptr || fn(&info) != 0) return false;
        if (info.dwMajorVersion != 10) return info.dwMajorVersion > 10;
        return info.dwMinorVersion > 0 || info.dwBuildNumber >= 14393;
    }();
    return supported;
}

String FullPathOf(StringView path) {
    std::wstring wide(path.begin(), path.end());
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        SetLastError(0);
        const DWORD length =
            GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0) {
            const DWORD code = GetLastError();
            if (code != 0 && code != ERROR_FILE_NOT_FOUND) throw EInOutError(SystemErrorText(code));
            return String();
        }
        if (length < buffer.size()) return win::FromWide(buffer.data(), length);
        buffer.assign(length, L'\0');  // length is then the size needed, terminator included
    }
}

// Creates dir after its missing parents; failures name original, the path the
// caller passed in.
void CreateLevels(String dir, StringView original) {
    if (dir.size() >= 2 && dir.back() == u'\\' && dir[dir.size() - 2] != u':') dir.pop_back();
    if (IsDirectory(dir)) return;
    const String parent = FolderPart(dir);
    if (!parent.empty() && parent != dir) CreateLevels(parent, original);
    const std::wstring wide(dir.begin(), dir.end());
    if (!CreateDirectoryW(wide.c_str(), nullptr)) {
        const DWORD code = static_cast<DWORD>(LastErrorOr(ERROR_CANNOT_MAKE));
        if (IsDirectory(dir)) return;  // made meanwhile by someone else: the goal is met
        throw EInOutError(SystemErrorText(code) + Bracketed(original));
    }
}

}  // namespace

void EnsureDirectory(StringView path) {
    if (TrimBlanks(path).empty()) throw EInOutError(u"Path is empty");
    if (path.find(u'\0') != StringView::npos) throw EInOutError(u"Invalid characters in path" + Bracketed(path));

    const String full = FullPathOf(path);

    if (!HasLongPathSupport() && full.size() >= 248 && !HasDevicePrefix(full)) {
        throw EInOutError(u"The specified path is too long" + Bracketed(full));
    }

    // After a \\?\ or \\.\ prefix, the path proper starts; its own drive
    // letter may carry the one colon.
    const pathparse::Root root = pathparse::ParseRoot(full, pathparse::Separators::kBackslash);
    const std::size_t body = HasDevicePrefix(full) ? 4 : 0;
    const bool driveLetter = root.HasAsciiLetter() && root.rest == body + 2;
    for (std::size_t i = 0; i < full.size(); ++i) {
        if (full[i] == u':' && !(driveLetter && i == body + 1)) throw EInOutError(u"The path format is not supported");
    }

    if (TrimBlanks(full).empty()) throw EInOutError(u"Path is empty");
    for (std::size_t i = body; i < full.size(); ++i) {
        if (IsInvalidPathChar(full[i])) throw EInOutError(u"Invalid characters in path" + Bracketed(full));
    }

    const bool network = (root.kind == pathparse::Root::Kind::kShare && root.prefix == 0 && full.size() >= 3 &&
                          !IsInvalidPathChar(full[2])) ||
                         (root.kind == pathparse::Root::Kind::kShare && root.prefix == 8 && root.literal);
    if (!network) {
        const bool found = driveLetter && (GetLogicalDrives() & (1u << ((full[body] | 0x20) - u'a'))) != 0;
        if (!found) throw EInOutError(u"The drive cannot be found" + Bracketed(full));
    }

    CreateLevels(full, path);
}

}  // namespace tw
