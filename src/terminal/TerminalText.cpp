// Escaping the characters that change how a terminal line reads.
#include "TerminalText.h"

#include <algorithm>

namespace {

bool IsBidiControl(char16_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

bool NeedsEscape(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || IsBidiControl(c);
}

} // namespace

QString TerminalText(const QString& text) {
    const auto found =
        std::find_if(text.begin(), text.end(), [](QChar c) { return NeedsEscape(c.unicode()); });
    if (found == text.end()) {
        return text;
    }
    QString escaped = text.left(static_cast<int>(found - text.begin()));
    for (auto it = found; it != text.end(); ++it) {
        const char16_t c = it->unicode();
        if (!NeedsEscape(c)) {
            escaped += *it;
        } else if (c == u'\n') {
            escaped += QStringLiteral("\\n");
        } else if (c == u'\r') {
            escaped += QStringLiteral("\\r");
        } else if (c == u'\t') {
            escaped += QStringLiteral("\\t");
        } else {
            escaped += QStringLiteral("\\u") +
                       QStringLiteral("%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
        }
    }
    return escaped;
}
