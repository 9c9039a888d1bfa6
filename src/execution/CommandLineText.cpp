// The one-line text of a started program and its arguments.
#include "execution/CommandLineText.h"

namespace {

void AppendQuotedIfNeeded(std::wstring& line, const std::wstring& argument) {
    if (argument.find_first_of(L" \"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    for (const wchar_t c : argument) {
        if (c == L'"') {
            line += L'"';
        }
        line += c;
    }
    line += L'"';
}

} // namespace

std::wstring CommandLineText(const std::vector<std::wstring>& arguments) {
    std::wstring line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) {
            line += L' ';
        }
        AppendQuotedIfNeeded(line, arguments[i]);
    }
    return line;
}
