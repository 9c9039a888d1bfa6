// A program's standard error as task-log lines.
#include "execution/ErrorLines.h"

#include "execution/LocalText.h"
#include "execution/RunTexts.h"

ErrorLines::ErrorLines(Write write)
    : m_write(std::move(write)),
      m_lines(kMaxErrorLineBytes, [this](std::string_view line, std::size_t leftOut) {
          m_write(FromLocal8Bit(line), false);
          if (leftOut > 0) {
              m_write(RunTexts::LineCut().arg(leftOut), true);
          }
      }) {}

void ErrorLines::Feed(std::string_view bytes) {
    m_lines.Feed(bytes);
}

void ErrorLines::Finish() {
    m_lines.Finish();
}

void ErrorLines::LeftOut(std::size_t bytes) {
    if (bytes > 0) {
        m_write(RunTexts::OutputCut().arg(bytes), true);
    }
}
