// Text crossing into and out of other programs: arguments, their error output and system messages are
// in the locale's encoding.
#pragma once

#include <QString>

#include <string>
#include <string_view>

inline std::string ToLocal8Bit(const std::wstring& text) {
    return QString::fromStdWString(text).toLocal8Bit().toStdString();
}

inline QString FromLocal8Bit(std::string_view bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<int>(bytes.size()));
}
