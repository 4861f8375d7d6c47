// Tidewell platform layer: text, path, file-system and profile-file operations.
//
// Every path handed in or out is a Windows path (D:\Servers\S1\Mir200\a.txt),
// whatever the host system. Text is UTF-16; lengths and positions count code
// units, positions are 1-based. The operating-system parts live in one source
// set per system (posix/, win/); callers see only this header.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tw {

using String = std::u16string;
using StringView = std::u16string_view;

// ---------------------------------------------------------------- errors

// Base of every error the platform raises; carries the user-visible text.
class Exception : public std::exception {
public:
    explicit Exception(String message);
    const String& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    String message_;
    std::string utf8_;
};

// A date or time that does not exist ("Invalid argument to date encode").
class EConvertError : public Exception { using Exception::Exception; };
// OpenForReading refused.
class EFOpenError : public Exception { using Exception::Exception; };
// EnsureDirectory failed; the message is the one to show the operator.
class EInOutError : public Exception { using Exception::Exception; };
// A profile write refused: "Unable to write to %s".
class EIniFileException : public Exception { using Exception::Exception; };

// ---------------------------------------------------------------- text

std::string ToUtf8(StringView text);
String FromUtf8(std::string_view text);

String TrimBlanks(StringView text);
String WithTrailingBackslash(StringView path);
String WithoutTrailingBackslash(StringView path);
String DrivePart(StringView path);
String FolderPart(StringView path);
String NamePart(StringView path);
int CompareAsciiNoCase(StringView a, StringView b);
int PositionOf(StringView sub, StringView text, int start);

// ---------------------------------------------------------------- file system

inline constexpr std::int32_t faReadOnly = 1;
inline constexpr std::int32_t faHidden = 2;
inline constexpr std::int32_t faSysFile = 4;
inline constexpr std::int32_t faDirectory = 16;
inline constexpr std::int32_t faAnyFile = 511;

bool IsFile(StringView path);
bool IsDirectory(StringView path);

// The open platform search behind a TSearchRec (FindHandle + FindData).
struct SearchHandle;

// The entry a directory search returned last. Destroying an open record
// closes its search, so an exception between StartSearch and EndSearch
// cannot leak a handle.
struct TSearchRec {
    std::int32_t Time = 0;  // MS-DOS date-time, local time
    std::int64_t Size = 0;
    std::int32_t Attr = 0;
    String Name;
    std::int32_t ExcludeAttr = 0;
    std::unique_ptr<SearchHandle> FindHandle;  // null when no search is open

    TSearchRec();
    ~TSearchRec();
    TSearchRec(TSearchRec&&) noexcept;
    TSearchRec& operator=(TSearchRec&&) noexcept;
    TSearchRec(const TSearchRec&) = delete;
    TSearchRec& operator=(const TSearchRec&) = delete;
};

// 0 when an entry was returned, otherwise the platform's error code.
int StartSearch(StringView pattern, std::int32_t mask, TSearchRec& rec);
int ContinueSearch(TSearchRec& rec);
void EndSearch(TSearchRec& rec);
// Entries the open search left out because they could not be read (Linux:
// an entry that cannot be examined, a name too long for any Windows path).
// Entries that do not exist for Windows (links leading outside the drive or
// nowhere, our own temporary files) are not counted. 0 when none is open.
std::int32_t UnreadableEntries(const TSearchRec& rec);
// Whether a result of StartSearch or ContinueSearch means "nothing there"
// (no such folder or entry, no more entries) rather than a failure to read.
bool SearchFoundNothing(int result);

// Identity of an existing file or folder, the same for every path that leads
// to it (device and inode; volume serial and file index on Windows).
struct TFileId {
    std::uint64_t Volume = 0;
    std::uint64_t Index = 0;
    friend bool operator==(const TFileId&, const TFileId&) = default;
    friend auto operator<=>(const TFileId&, const TFileId&) = default;
};
// False when path does not exist or cannot be examined.
bool FileIdentity(StringView path, TFileId& id);

// One entry met by ListTree.
struct TTreeEntry {
    String Path;             // the folder listed, '\', the entry's name
    std::int32_t Attr = 0;   // the attribute word, as a directory search gives it
    TFileId Id;              // folders only: the identity of the folder it leads to
};

// Lists the entries below folder depth-first, as directory searches of each
// folder with mask faAnyFile would give them, "." and ".." left out. visit
// is called for each entry in the platform's order; for a folder it answers
// whether to list that folder at once, before the next entry of its parent.
// No search stays open while a subfolder is listed, so the depth a tree can
// have is bounded by the longest path alone, not by open handles or the
// stack. Returns how many entries or folders could not be read (entries as
// UnreadableEntries counts them, folders that exist but cannot be listed);
// a folder that does not exist gives 0.
std::size_t ListTree(StringView folder, const std::function<bool(const TTreeEntry&)>& visit);

// Days since 30 December 1899, the time of day as the fraction.
using TDateTime = double;
TDateTime DosTimeToDateTime(std::int32_t dosTime);  // throws EConvertError

// A file opened for reading from front to back; destroying it closes it.
class TFileStream {
public:
    virtual ~TFileStream() = default;
    // Bytes read into buffer; 0 at the end of the file or on a read error.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
};
std::unique_ptr<TFileStream> OpenForReading(StringView path);  // throws EFOpenError

// CopyFileW(source, target, FALSE): replaces an existing target. Non-zero on
// success; failure is reported by the result only. A source and target that
// are one file are refused, and the file is left exactly as it was. On both
// systems the copy is written to a temporary file beside the target, which
// then replaces it in one step, so a failed copy never damages the target.
int CopyFileReplacing(StringView source, StringView target);

// Creates path with every missing level; throws EInOutError with the
// operator-facing message.
void EnsureDirectory(StringView path);

// True when both paths name one existing file or folder (the same path in
// two spellings, a link, a hard link). False when either does not exist.
bool IsSameFile(StringView a, StringView b);

// ---------------------------------------------------------------- profile files

// Profile files are read only when they are regular files of at most this
// size. No INI file comes near it; a link to a kernel file or a sparse file
// of gigabytes would otherwise be read whole, again for every value.
inline constexpr std::int64_t kMaxProfileBytes = 4 * 1024 * 1024;

// Whether a profile file can be read. A file that exists but cannot be read
// reads as empty and is never written: its content would be lost.
enum class TProfileState {
    Missing,     // nothing there: reads are empty, the first write makes it
    Readable,
    TooLarge,    // more than kMaxProfileBytes
    NotAFile,    // a folder, a device, a pipe
    Unreadable,  // the system refuses to open it
};

// Holds the path of one INI file and nothing else; every call goes to the file.
class TIniFile {
public:
    explicit TIniFile(String path);
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const String& FileName() const noexcept { return path_; }
    TProfileState State() const;
    // At most 2047 code units; empty when the file, section or key is missing
    // or the file cannot be read.
    String ReadValue(StringView section, StringView key) const;
    // Both throw EIniFileException, and leave the file as it was, when the
    // file cannot be read or written.
    void WriteValue(StringView section, StringView key, StringView value);
    void DropSection(StringView section);  // every section of that name
    void FlushProfile();

private:
    String path_;
};

// ---------------------------------------------------------------- host paths

// The Windows form of a path the host hands over (a dropped item): on Linux
// through the drive table, on Windows with '/' turned into '\'. On Linux
// every absolute path has one (bytes that are not UTF-8 are carried as lone
// low surrogates, U+DC00 plus the byte, and lead back to the same bytes);
// empty for a relative path or one holding a NUL.
String WindowsPathFromHost(std::string_view hostPathUtf8);

// Drive table (Linux). A drive is "D:" or "\\server\share"; hostFolder is an
// absolute host folder. Z: is "/" and C: the per-user folder by default.
// On Windows these do nothing and MapDrive returns false: drives are real.
bool MapDrive(StringView drive, const std::string& hostFolder);
void UnmapDrive(StringView drive);
void ResetDriveTable();
// Adds the drives of section "Drives" of the history file; once at start-up.
// Entries that cannot be used (a malformed drive or folder, or the drive that
// holds the file itself, which would move the file) are left out; after the
// others are mapped, Exception names them. A file that cannot be read adds
// nothing and is no error here.
void LoadDrivesFromProfile(StringView iniPath);
// The host path a Windows path leads to (Linux), links inside the drive
// followed; empty when its drive is not mapped or a link on the way leads
// outside the drive. On Windows the path itself, converted to UTF-8.
std::string HostPathOf(StringView windowsPath);

}  // namespace tw
