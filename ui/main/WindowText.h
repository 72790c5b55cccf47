#pragma once
// Conversions the window's parts share between Qt's strings, the engine's UTF-8 and the
// time codes the window shows.

#include <QString>

#include <cstdint>
#include <string>

#include "TimeCode.h"

namespace tolvane {

inline QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.c_str(), qsizetype(text.size()));
}

inline std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

// Milliseconds as the window's time code.
inline QString TimeCodeText(std::int64_t ms) {
    return QString::fromStdString(FormatTimeCode(static_cast<std::int32_t>(ms)));
}

}  // namespace tolvane
