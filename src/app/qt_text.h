// Conversions between the Qt-free layers' UTF-16 text and Qt's, at the
// widget boundary only.
#pragma once

#include <QString>

#include "platform/platform.h"

// A plain copy of the code units: no byte-order mark handling, no repair.
inline QString ToQString(tw::StringView text) {
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

inline tw::String FromQString(const QString& text) {
    return tw::String(reinterpret_cast<const char16_t*>(text.utf16()),
                      static_cast<std::size_t>(text.size()));
}
