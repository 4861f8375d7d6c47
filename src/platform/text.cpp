// System-independent part of the platform layer: errors, UTF-8/UTF-16
// conversion, the path-text helpers and the MS-DOS time conversion.
#include "platform/platform.h"
#include "platform/path_parse.h"

#include <algorithm>

namespace tw {

Exception::Exception(String message) : message_(std::move(message)), utf8_(ToUtf8(message_)) {}

// ---------------------------------------------------------------- UTF-8 / UTF-16

std::string ToUtf8(StringView text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;  // a lone surrogate has no UTF-8 form
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

String FromUtf8(std::string_view text) {
    String out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        char32_t c = 0;
        std::size_t len = 0;
        char32_t min = 0;
        if (b < 0x80) {
            c = b;
            len = 1;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            len = 2;
            min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            len = 3;
            min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            len = 4;
            min = 0x10000;
        }
        bool ok = len != 0 && i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) {
                ok = false;
            } else {
                c = (c << 6) | (p[i + k] & 0x3F);
            }
        }
        // Overlong forms, surrogates and values past U+10FFFF are malformed.
        if (ok && (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) ok = false;
        if (!ok) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += len;
    }
    return out;
}

// ---------------------------------------------------------------- text helpers

String TrimBlanks(StringView text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && text[first] <= 32) ++first;
    while (last > first && text[last - 1] <= 32) --last;
    return String(text.substr(first, last - first));
}

String WithTrailingBackslash(StringView path) {
    String out(path);
    if (out.empty() || out.back() != u'\\') out += u'\\';
    return out;
}

String WithoutTrailingBackslash(StringView path) {
    if (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
    return String(path);
}

String DrivePart(StringView path) {
    const pathparse::Root root = pathparse::ParseRoot(path, pathparse::Separators::kBackslash);
    if (root.kind == pathparse::Root::Kind::kNone) return {};
    return String(path.substr(0, root.end));
}

namespace {

// Index just past the last '\' or ':', or 0 when the path holds neither.
std::size_t NameStart(StringView path) {
    const std::size_t pos = path.find_last_of(u"\\:");
    return pos == StringView::npos ? 0 : pos + 1;
}

}  // namespace

String FolderPart(StringView path) { return String(path.substr(0, NameStart(path))); }

String NamePart(StringView path) { return String(path.substr(NameStart(path))); }

int CompareAsciiNoCase(StringView a, StringView b) {
    const auto upper = [](char16_t c) -> int { return c >= u'a' && c <= u'z' ? c - 32 : c; };
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int d = upper(a[i]) - upper(b[i]);
        if (d != 0) return d;
    }
    return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

int PositionOf(StringView sub, StringView text, int start) {
    if (sub.empty() || text.empty() || start < 1) return 0;
    const auto from = static_cast<std::size_t>(start - 1);
    if (from + sub.size() > text.size()) return 0;
    const std::size_t pos = text.find(sub, from);
    return pos == StringView::npos ? 0 : static_cast<int>(pos) + 1;
}

// ---------------------------------------------------------------- MS-DOS time

namespace {

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Days from 1 January of year 1 to the given date, proleptic Gregorian.
long DaysFromYearOne(int y, int m, int d) {
    static constexpr int kBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const long py = y - 1;
    long days = py * 365 + py / 4 - py / 100 + py / 400 + kBefore[m - 1] + d - 1;
    if (m > 2 && IsLeapYear(y)) ++days;
    return days;
}

}  // namespace

TDateTime DosTimeToDateTime(std::int32_t dosTime) {
    const auto word = static_cast<std::uint32_t>(dosTime);
    const int year = 1980 + static_cast<int>((word >> 25) & 0x7F);
    const int month = static_cast<int>((word >> 21) & 0x0F);
    const int day = static_cast<int>((word >> 16) & 0x1F);
    const int hour = static_cast<int>((word >> 11) & 0x1F);
    const int minute = static_cast<int>((word >> 5) & 0x3F);
    const int second = static_cast<int>(word & 0x1F) * 2;

    static constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 ||
        day > kMonthDays[month - 1] + ((month == 2 && IsLeapYear(year)) ? 1 : 0)) {
        throw EConvertError(u"Invalid argument to date encode");
    }
    if (hour > 23 || minute > 59 || second > 59) throw EConvertError(u"Invalid argument to time encode");

    const long days = DaysFromYearOne(year, month, day) - DaysFromYearOne(1899, 12, 30);
    return static_cast<double>(days) + (hour * 3600 + minute * 60 + second) / 86400.0;
}

}  // namespace tw
