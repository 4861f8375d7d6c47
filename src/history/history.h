// The history file: the last ten version names and subfolders the operator
// used, and the last pair of texts in the two boxes.
//
//   [LastUsed]        Version=<text>  SubDir=<text>   (texts as shown, untrimmed)
//   [VersionHistory]  0=<newest> ... 9=<oldest>
//   [SubDirHistory]   0=<newest> ... 9=<oldest>
//
// Every other section (Drives, anything the operator added) is left alone.
// Each operation opens the file, does its reads or writes and lets it go;
// nothing here catches EIniFileException.
#pragma once

#include <vector>

#include "platform/platform.h"

namespace tw {

// The same fixed path wherever the program runs from; on Linux the drive
// table decides which host folder C: stands for.
inline constexpr StringView HistoryIniPath = u"C:\\Tidewell.ini";

inline constexpr StringView VersionHistorySection = u"VersionHistory";
inline constexpr StringView SubDirHistorySection = u"SubDirHistory";
inline constexpr StringView LastUsedSection = u"LastUsed";
inline constexpr StringView LastUsedVersionKey = u"Version";
inline constexpr StringView LastUsedSubDirKey = u"SubDir";

// A history never holds more entries than this, in memory or in the file.
inline constexpr int HistoryCapacity = 10;

// Keys "0" to "9" of section, in key order; empty and missing values are
// skipped, so the entries close up. Duplicates are kept.
std::vector<String> ReadHistoryList(const TIniFile& ini, StringView section);

// An ordered list of history entries, index 0 the newest. Lets the same
// ordering rule act on a plain vector and on a widget's drop-down list.
class THistoryList {
public:
    virtual ~THistoryList() = default;
    virtual int Count() const = 0;
    virtual String At(int index) const = 0;
    virtual void RemoveAt(int index) = 0;
    virtual void InsertFirst(const String& text) = 0;
};

// Puts text, untrimmed, at the front of list. A blank text changes nothing.
// Only the first entry exactly equal to text is removed (letter case and
// blanks count); the list is then cut back to HistoryCapacity entries.
void AddToHistory(THistoryList& list, StringView text);
void AddToHistory(std::vector<String>& list, StringView text);

// Replaces both history sections by the lists (keys 0..n-1, at most
// HistoryCapacity each). Both sections are dropped before either is written,
// so a shorter list leaves no stale keys behind.
void WriteHistories(TIniFile& ini, const std::vector<String>& versions,
                    const std::vector<String>& subDirs);

struct TLastUsed {
    String Version;
    String SubDir;
};

// The stored pair; both empty when there is no history file. Reading never
// creates the file.
TLastUsed ReadLastUsed(StringView iniPath);

// Stores both texts as they are, empty or not.
void WriteLastUsed(TIniFile& ini, StringView version, StringView subDir);

// True when the history file exists but cannot be read (too large, not a
// regular file, refused): it is then neither loaded nor ever saved over.
bool IsUnreadable(TProfileState state);

// The status text that reports such a history file, once, at start-up.
String UnreadableHistoryMessage(StringView iniPath, TProfileState state);

}  // namespace tw
