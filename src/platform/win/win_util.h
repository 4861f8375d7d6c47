// Helpers shared by the Windows source set of the platform layer.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace tw::win {

// A NUL-terminated copy of text for a Win32 call. False when text holds a
// code unit 0: the call would silently act on the shorter text before it.
inline bool ToWide(StringView text, std::wstring& out) {
    if (text.find(u'\0') != StringView::npos) return false;
    out.assign(text.begin(), text.end());
    return true;
}

inline String FromWide(const wchar_t* text, std::size_t length) {
    return String(reinterpret_cast<const char16_t*>(text), length);
}

inline String FromWide(const wchar_t* text) { return FromWide(text, wcslen(text)); }

// GetLastError(), or fallback when the call failed without setting it, so a
// failure is never reported as the success value 0.
inline int LastErrorOr(DWORD fallback) {
    const DWORD code = GetLastError();
    return static_cast<int>(code != 0 ? code : fallback);
}

// The platform's text for an error code, without FormatMessage's trailing CR LF.
String SystemErrorText(DWORD code);

}  // namespace tw::win
