// Cuts a byte stream that arrives in chunks into lines at LF.
#pragma once

#include <functional>
#include <string>
#include <string_view>

class LineSplitter {
public:
    // Receives each line without its LF; a CR before the LF stays part of the line.
    explicit LineSplitter(std::function<void(std::string_view)> onLine) : m_onLine(std::move(onLine)) {}

    void Feed(std::string_view chunk);

    // Hands over the text after the last LF, if there is any, as the last line.
    void Finish();

private:
    std::function<void(std::string_view)> m_onLine;
    std::string m_partial; // the start of a line whose LF has not arrived yet
};
