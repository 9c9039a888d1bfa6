// What of a command's standard error is read back: the end of it, in whole lines, with what was left out.
#include "execution/CommandErrorOutput.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

namespace {

struct Line {
    std::string message;
    bool withPrefix;
    bool operator==(const Line&) const = default;
};

std::vector<Line> Lines(const std::vector<LogEntry>& entries) {
    std::vector<Line> lines;
    for (const LogEntry& entry : entries) {
        lines.push_back({entry.message.toStdString(), entry.withPrefix});
    }
    return lines;
}

std::string LeftOut(int bytes) {
    return "Сообщения программы сокращены, пропущено байт: " + std::to_string(bytes) + ".";
}

} // namespace

TEST(CommandErrorOutputTest, KeepsTheLastWholeLinesWithinItsTail) {
    struct Case {
        std::string written;
        std::size_t tail;
        std::vector<Line> lines;
        std::string reason;
    };
    const std::string longLine(70 * 1024, 'x');
    for (const Case& c : std::vector<Case>{
             {"", 100, {}, ""},
             {"один\nдва\n", 100, {{"один", false}, {"два", false}}, "два"},
             // The cut falls inside "second": that line goes whole, and is counted as left out.
             {"first\nsecond\nthird\n", 10, {{LeftOut(13), true}, {"third", false}}, "third"},
             // A cut exactly after a newline leaves out no more than the lines before it.
             {"first\nsecond\nthird\n", 6, {{LeftOut(13), true}, {"third", false}}, "third"},
             // One line longer than the tail: its end is all there is.
             {std::string(100, 'y'),
              10,
              {{LeftOut(90), true}, {std::string(10, 'y'), false}},
              std::string(10, 'y')},
             // A line longer than a log line is cut as the tool's are.
             {longLine + "\nпричина\n",
              1 << 20,
              {{std::string(64 * 1024, 'x'), false},
               {"Строка выше сокращена, пропущено байт: " + std::to_string(6 * 1024) + ".", true},
               {"причина", false}},
              "причина"},
         }) {
        SCOPED_TRACE(c.written.substr(0, 40));
        const auto output = CommandErrorOutput::Open();
        ASSERT_NE(output, nullptr);
        ASSERT_EQ(::write(output->Descriptor(), c.written.data(), c.written.size()),
                  static_cast<ssize_t>(c.written.size()));
        const CommandErrorOutput::LastLines last = output->Read(c.tail);
        EXPECT_EQ(Lines(last.entries), c.lines);
        EXPECT_EQ(last.reason.toStdString(), c.reason);
    }
}
