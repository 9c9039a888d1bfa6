// A program's standard error as task-log lines: cut into lines, each line and the whole cut as the log
// takes them.
#pragma once

#include "LineSplitter.h"

#include <QString>

#include <cstddef>
#include <functional>
#include <string_view>

// The most of one line of a program's standard error that reaches the log.
inline constexpr std::size_t kMaxErrorLineBytes = 64 * 1024;

// Hands every line of the bytes fed to it, decoded from the locale's encoding, to `write` without the
// engine's prefix. A line longer than kMaxErrorLineBytes keeps its start (cut between UTF-8 characters)
// and is followed by a line, with the prefix, saying how many bytes were left out of it. A line that is
// copied several times on its way to the log must not be of any length a program may write.
class ErrorLines {
public:
    using Write = std::function<void(const QString& line, bool withPrefix)>;

    explicit ErrorLines(Write write);

    void Feed(std::string_view bytes);
    // The text after the last LF, if any, as the last line.
    void Finish();
    // The line, with the prefix, that says how many bytes of the output were left out as a whole.
    void LeftOut(std::size_t bytes);

private:
    Write m_write;
    LineSplitter m_lines;
};
