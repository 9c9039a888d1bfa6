// Reads the chosen scheme's code and name out of the tool's standard output.
#include "execution/SchemeOutputReader.h"

#include <regex>

namespace {

// ECMAScript rules: "." stops at a CR, so a line still holding a CR after the one removed does not
// match.
const std::regex& CodePattern() {
    static const std::regex pattern("^CODE:(.*)$", std::regex::ECMAScript);
    return pattern;
}

const std::regex& NamePattern() {
    static const std::regex pattern("^NAME:(.*)$", std::regex::ECMAScript);
    return pattern;
}

} // namespace

SchemeOutputReader::SchemeOutputReader() : m_lines([this](std::string_view line) { ReadLine(line); }) {}

void SchemeOutputReader::ReadLine(std::string_view line) {
    if (!m_scheme.code.empty() && !m_scheme.name.empty()) {
        return; // the rest of the output is only drained
    }
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    std::cmatch match;
    if (m_scheme.code.empty() && std::regex_match(line.begin(), line.end(), match, CodePattern())) {
        m_scheme.code = match.str(1);
        return;
    }
    if (m_scheme.name.empty() && std::regex_match(line.begin(), line.end(), match, NamePattern())) {
        m_scheme.name = match.str(1);
    }
}
