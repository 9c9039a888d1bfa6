// Cuts a byte stream that arrives in chunks into lines at LF.
#pragma once

#include <functional>
#include <limits>
#include <string>
#include <string_view>

class LineSplitter {
public:
    // Receives each line without its LF; a CR before the LF stays part of the line.
    explicit LineSplitter(std::function<void(std::string_view)> onLine);

    // Receives at most the first `maxLineBytes` of each line, cut between UTF-8 characters, and the
    // number of bytes left out after them (0 for a line that fits). A line of any length then costs no
    // more memory than that.
    using CutLineSink = std::function<void(std::string_view line, std::size_t leftOut)>;
    LineSplitter(std::size_t maxLineBytes, CutLineSink onLine);

    void Feed(std::string_view chunk);

    // Hands over the text after the last LF, if there is any, as the last line.
    void Finish();

private:
    void Keep(std::string_view part);
    void Hand(std::string_view line, std::size_t leftOut);

    // Room for one byte more without overflow.
    static constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max() / 2;

    std::size_t m_maxLineBytes = kUnlimited;
    CutLineSink m_onLine;
    // The start of a line whose LF has not arrived yet: at most one byte beyond the limit, which tells
    // whether the cut falls inside a character.
    std::string m_partial;
    std::size_t m_leftOut = 0; // bytes of that line past what `m_partial` keeps
};
