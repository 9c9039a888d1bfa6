// Cutting texts to what the window shows.
#include "ShownName.h"

#include <algorithm>

QString ShownName(const QString& text) {
    if (text.size() <= kShownNameLength) {
        return text;
    }
    int length = kShownNameLength;
    if (text.at(length - 1).isHighSurrogate()) {
        --length;
    }
    return text.left(length) + QChar(0x2026);
}

QString ShownName(const std::wstring& name) {
    // A wchar_t is one code point here; one more than is shown tells that the text was longer.
    const std::size_t taken = std::min(name.size(), static_cast<std::size_t>(kShownNameLength) + 1);
    return ShownName(QString::fromWCharArray(name.data(), static_cast<int>(taken)));
}
