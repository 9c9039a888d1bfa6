// Reads the chosen scheme's code and name out of the tool's standard output as it arrives.
#pragma once

#include "execution/LineSplitter.h"
#include "execution/SchemeInfo.h"

#include <string_view>

// Lines are cut at LF with one trailing CR removed. While the code is empty, a line that is wholly
// "CODE:<text>" sets it (an empty text leaves it empty, so a later CODE line may still supply it);
// otherwise, while the name is empty, a line that is wholly "NAME:<text>" sets it. Everything else,
// and every line once both are set, is ignored, but may still be fed.
class SchemeOutputReader {
public:
    SchemeOutputReader();

    void Feed(std::string_view chunk);
    void Finish() { m_lines.Finish(); }

    const SchemeInfo& Result() const { return m_scheme; }

private:
    void ReadLine(std::string_view line);

    LineSplitter m_lines;
    SchemeInfo m_scheme;
};
