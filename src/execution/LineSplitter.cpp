// Cuts a byte stream that arrives in chunks into lines at LF.
#include "execution/LineSplitter.h"

void LineSplitter::Feed(std::string_view chunk) {
    for (;;) {
        const std::size_t end = chunk.find('\n');
        if (end == std::string_view::npos) {
            m_partial.append(chunk);
            return;
        }
        if (m_partial.empty()) {
            m_onLine(chunk.substr(0, end));
        } else {
            m_partial.append(chunk.substr(0, end));
            m_onLine(m_partial);
            m_partial.clear();
        }
        chunk.remove_prefix(end + 1);
    }
}

void LineSplitter::Finish() {
    if (!m_partial.empty()) {
        m_onLine(m_partial);
        m_partial.clear();
    }
}
