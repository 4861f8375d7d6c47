// Private to the platform layer: the one reading of a Windows path's drive,
// prefix and components, shared by the text helpers and both system sets.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace tw::pathparse {

// Which characters separate names: DrivePart and Win32 paths know '\' only,
// the Linux drive table takes '/' as well.
enum class Separators { kBackslash, kBoth };

inline bool IsSeparator(char16_t c, Separators seps) {
    return c == u'\\' || (seps == Separators::kBoth && c == u'/');
}

// The drive of a Windows path as written.
struct Root {
    enum class Kind {
        kNone,    // no drive: "Servers\S1", "\Servers"
        kLetter,  // "D:", or "\\?\D:" after a device prefix
        kShare,   // "\\server\share", or "\\?\UNC\server\share"
        kDevice,  // a device prefix followed by something else ("\\.\pipe")
    };
    Kind kind = Kind::kNone;
    std::size_t prefix = 0;   // length of a leading \\?\ or \\.\ (8 for \\?\UNC\)
    bool literal = false;     // the prefix is \\?\ (the path as written) rather than \\.\ (a device)
    std::size_t end = 0;      // index just past the drive text (what DrivePart returns)
    std::size_t rest = 0;     // where the path below the drive begins
    char16_t letter = 0;      // kLetter: the letter as written (any character before ':' at index 1)
    StringView server;        // kShare: may be empty in a malformed path
    StringView share;         // kShare: may be empty in a malformed path

    bool HasAsciiLetter() const {
        return kind == Kind::kLetter && ((letter >= u'A' && letter <= u'Z') || (letter >= u'a' && letter <= u'z'));
    }
};

Root ParseRoot(StringView path, Separators seps);

// True when path begins with \\?\ or \\.\ (either separator under kBoth).
bool HasDevicePrefix(StringView path, Separators seps);

// What ".." does in a list of names.
enum class DotDot {
    kResolve,  // removes the name before it, never climbing above the first
    kKeep,     // stays in the list, for a walk that knows the real parent
};

// The names of a path below its drive: empty names and "." dropped, ".."
// as dotDot says.
template <class Char, class IsSep>
std::vector<std::basic_string<Char>> Components(std::basic_string_view<Char> rest, IsSep isSep,
                                                DotDot dotDot = DotDot::kResolve) {
    std::vector<std::basic_string<Char>> parts;
    std::size_t i = 0;
    while (i < rest.size()) {
        std::size_t end = i;
        while (end < rest.size() && !isSep(rest[end])) ++end;
        const std::basic_string_view<Char> part = rest.substr(i, end - i);
        const bool dot = part.size() == 1 && part[0] == Char('.');
        const bool isDotDot = part.size() == 2 && part[0] == Char('.') && part[1] == Char('.');
        if (isDotDot && dotDot == DotDot::kResolve) {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && !dot) {
            parts.emplace_back(part);
        }
        i = end + 1;
    }
    return parts;
}

inline std::vector<String> WindowsComponents(StringView rest, Separators seps) {
    return Components<char16_t>(rest, [seps](char16_t c) { return IsSeparator(c, seps); });
}

inline std::vector<std::string> HostComponents(std::string_view path) {
    return Components<char>(path, [](char c) { return c == '/'; });
}

// The names of a link's text on the host. ".." is kept: it means the parent
// of the real folder the link sits in, which only the walk knows.
inline std::vector<std::string> LinkComponents(std::string_view target) {
    return Components<char>(target, [](char c) { return c == '/'; }, DotDot::kKeep);
}

// Longest Windows path the platform layer works with, in code units: the
// limit of the Win32 wide-character functions.
inline constexpr std::size_t kMaxWindowsPath = 32767;

}  // namespace tw::pathparse
