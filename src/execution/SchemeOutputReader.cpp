// Reads the chosen scheme's code and name out of the tool's standard output.
#include "execution/SchemeOutputReader.h"

#include <optional>

namespace {

// The whole-line match of "^CODE:(.*)$" (or NAME) under ECMAScript rules, where "." takes every byte
// but LF and CR: the prefix, then no line terminator to the end. Written out rather than run through
// std::regex, whose matcher recurses once per character and overflows the stack on a long line.
std::optional<std::string_view> WholeLineValue(std::string_view line, std::string_view prefix) {
    if (!line.starts_with(prefix)) {
        return std::nullopt;
    }
    line.remove_prefix(prefix.size());
    if (line.find_first_of("\r\n") != std::string_view::npos) {
        return std::nullopt;
    }
    return line;
}

} // namespace

SchemeOutputReader::SchemeOutputReader() : m_lines([this](std::string_view line) { ReadLine(line); }) {}

void SchemeOutputReader::Feed(std::string_view chunk) {
    if (!m_scheme.code.empty() && !m_scheme.name.empty()) {
        return; // the rest of the output is only drained, not even cut into lines
    }
    m_lines.Feed(chunk);
}

void SchemeOutputReader::ReadLine(std::string_view line) {
    if (!m_scheme.code.empty() && !m_scheme.name.empty()) {
        return;
    }
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (m_scheme.code.empty()) {
        if (const auto code = WholeLineValue(line, "CODE:")) {
            m_scheme.code = *code;
            return;
        }
    }
    if (m_scheme.name.empty()) {
        if (const auto name = WholeLineValue(line, "NAME:")) {
            m_scheme.name = *name;
        }
    }
}
