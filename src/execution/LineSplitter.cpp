// Cuts a byte stream that arrives in chunks into lines at LF.
#include "execution/LineSplitter.h"

#include "repository/Utf8.h"

#include <algorithm>

LineSplitter::LineSplitter(std::function<void(std::string_view)> onLine)
    : m_onLine([onLine = std::move(onLine)](std::string_view line, std::size_t) { onLine(line); }) {}

LineSplitter::LineSplitter(std::size_t maxLineBytes, CutLineSink onLine)
    : m_maxLineBytes(std::min(maxLineBytes, kUnlimited)), m_onLine(std::move(onLine)) {}

void LineSplitter::Feed(std::string_view chunk) {
    for (;;) {
        const std::size_t end = chunk.find('\n');
        if (end == std::string_view::npos) {
            Keep(chunk);
            return;
        }
        if (m_partial.empty() && m_leftOut == 0) {
            Hand(chunk.substr(0, end), 0);
        } else {
            Keep(chunk.substr(0, end));
            Hand(m_partial, m_leftOut);
            m_partial.clear();
            m_leftOut = 0;
        }
        chunk.remove_prefix(end + 1);
    }
}

void LineSplitter::Finish() {
    if (!m_partial.empty() || m_leftOut > 0) {
        Hand(m_partial, m_leftOut);
        m_partial.clear();
        m_leftOut = 0;
    }
}

void LineSplitter::Keep(std::string_view part) {
    const std::size_t room = m_maxLineBytes + 1 - std::min(m_partial.size(), m_maxLineBytes + 1);
    const std::size_t kept = std::min(room, part.size());
    m_partial.append(part.substr(0, kept));
    m_leftOut += part.size() - kept;
}

void LineSplitter::Hand(std::string_view line, std::size_t leftOut) {
    if (line.size() > m_maxLineBytes) {
        const std::size_t kept = Utf8PrefixLength(line, m_maxLineBytes);
        leftOut += line.size() - kept;
        line = line.substr(0, kept);
    }
    m_onLine(line, leftOut);
}
