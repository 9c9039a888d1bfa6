// Reading the chosen scheme out of the tool's output, fed in pieces as a pipe delivers it.
#include "execution/SchemeOutputReader.h"

#include "execution/LineSplitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

SchemeInfo Read(const std::string& output, std::size_t chunkSize = 0) {
    SchemeOutputReader reader;
    if (chunkSize == 0) {
        reader.Feed(output);
    } else {
        for (std::size_t i = 0; i < output.size(); i += chunkSize) {
            reader.Feed(std::string_view(output).substr(i, chunkSize));
        }
    }
    reader.Finish();
    return reader.Result();
}

std::vector<std::string> Split(const std::vector<std::string>& chunks) {
    std::vector<std::string> lines;
    LineSplitter splitter([&](std::string_view line) { lines.emplace_back(line); });
    for (const std::string& chunk : chunks) {
        splitter.Feed(chunk);
    }
    splitter.Finish();
    return lines;
}

} // namespace

TEST(LineSplitterTest, SplitsAtLfAcrossChunksAndKeepsCr) {
    const std::vector<std::string> expected{"first\r", "second", "", "last"};
    EXPECT_EQ(Split({"fir", "st\r\nsec", "ond\n", "\nla", "st"}), expected);
    EXPECT_EQ(Split({"first\r\nsecond\n\nlast"}), expected);
}

TEST(LineSplitterTest, NothingAfterTheLastLfIsNoLine) {
    EXPECT_EQ(Split({"a\n", "b\n"}), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Split({""}), std::vector<std::string>{});
    EXPECT_EQ(Split({"\n"}), std::vector<std::string>{""});
}

// A line longer than the limit keeps its start, cut between characters, and tells how much it lost,
// whether it arrives whole or in pieces of any size.
TEST(LineSplitterTest, LongLinesAreCutBetweenCharactersAndTellWhatWasLeftOut) {
    const std::string cyrillic = "\xD0\x96\xD0\x96\xD0\x96"; // ЖЖЖ: 6 bytes
    struct Case {
        std::string text;
        std::vector<std::string> lines;
        std::vector<std::size_t> leftOut;
    };
    const std::vector<Case> cases = {
        {"abcd\nabcde\nabcdefgh\n", {"abcd", "abcd", "abcd"}, {0, 1, 4}},
        {"a" + cyrillic + "\n", {"a\xD0\x96"}, {4}}, // the limit falls inside the second Ж
        {cyrillic + "z\n", {"\xD0\x96\xD0\x96"}, {3}},
        {"abcdefgh", {"abcd"}, {4}}, // the last line without its LF
        {"\n" + std::string(1000, 'x') + "\nend", {"", "xxxx", "end"}, {0, 996, 0}},
    };
    for (const Case& c : cases) {
        for (const std::size_t chunk : {c.text.size(), std::size_t{1}, std::size_t{3}}) {
            SCOPED_TRACE(c.text.substr(0, 20) + " in pieces of " + std::to_string(chunk));
            std::vector<std::string> lines;
            std::vector<std::size_t> leftOut;
            LineSplitter splitter(4, [&](std::string_view line, std::size_t cut) {
                lines.emplace_back(line);
                leftOut.push_back(cut);
            });
            for (std::size_t i = 0; i < c.text.size(); i += chunk) {
                splitter.Feed(std::string_view(c.text).substr(i, chunk));
            }
            splitter.Finish();
            EXPECT_EQ(lines, c.lines);
            EXPECT_EQ(leftOut, c.leftOut);
        }
    }
}

TEST(SchemeOutputReaderTest, CodeAndNameInEitherOrder) {
    EXPECT_EQ(Read("CODE:12\nNAME:Scheme A\n"), (SchemeInfo{"12", "Scheme A"}));
    EXPECT_EQ(Read("NAME:Scheme A\nCODE:12\n"), (SchemeInfo{"12", "Scheme A"}));
}

TEST(SchemeOutputReaderTest, CrLfLineEndsLoseTheirCr) {
    EXPECT_EQ(Read("CODE:12\r\nNAME:Схема А\r\n"), (SchemeInfo{"12", "Схема А"}));
    // Only one CR goes; one more left in the line keeps it from matching at all.
    EXPECT_EQ(Read("CODE:12\r\r\nCODE:13\r\n"), (SchemeInfo{"13", ""}));
}

TEST(SchemeOutputReaderTest, FedInTinyPiecesGivesTheSameResult) {
    const std::string output = "noise\r\nCODE:7\r\nmore noise\nNAME:Схема семь\r\nCODE:8\n";
    for (std::size_t size : {1U, 2U, 3U, 5U, 64U}) {
        EXPECT_EQ(Read(output, size), (SchemeInfo{"7", "Схема семь"})) << "chunk size " << size;
    }
}

TEST(SchemeOutputReaderTest, FirstNonEmptyValueWins) {
    EXPECT_EQ(Read("CODE:1\nCODE:2\nNAME:one\nNAME:two\n"), (SchemeInfo{"1", "one"}));
    // An empty value leaves room for a later line.
    EXPECT_EQ(Read("CODE:\nNAME:\nCODE:5\nNAME:Five\n"), (SchemeInfo{"5", "Five"}));
}

TEST(SchemeOutputReaderTest, OnlyOneOfThem) {
    EXPECT_EQ(Read("CODE:42\n"), (SchemeInfo{"42", ""}));
    EXPECT_EQ(Read("NAME:Only a name"), (SchemeInfo{"", "Only a name"}));
}

TEST(SchemeOutputReaderTest, NothingUsable) {
    EXPECT_EQ(Read(""), SchemeInfo{});
    EXPECT_EQ(Read("\n\n"), SchemeInfo{});
    EXPECT_EQ(Read(" CODE:1\ncode:2\nNAME 3\nXCODE:4\n"), SchemeInfo{});
}

TEST(SchemeOutputReaderTest, TheWholeLineMustMatch) {
    // A value may hold anything but line ends, including colons and the other key.
    EXPECT_EQ(Read("CODE:a:b NAME:c\nNAME:CODE:d\n"), (SchemeInfo{"a:b NAME:c", "CODE:d"}));
}

TEST(SchemeOutputReaderTest, LastLineWithoutLineEndCounts) {
    EXPECT_EQ(Read("CODE:1\nNAME:tail"), (SchemeInfo{"1", "tail"}));
}

// Regression (fuzzing): the value was matched with std::regex, whose matcher recursed once per character
// and overflowed the stack on a CODE or NAME line of a few hundred kilobytes.
TEST(SchemeOutputReaderTest, ValuesOfSeveralMegabytesAreRead) {
    const std::string code(4 << 20, 'c');
    const std::string name(3 << 20, 'n');
    EXPECT_EQ(Read("CODE:" + code + "\r\nNAME:" + name + "\n", 65536), (SchemeInfo{code, name}));
    // A NUL or any other byte but the line ends belongs to a value.
    EXPECT_EQ(Read(std::string("CODE:a\0b\x85\n", 10)), (SchemeInfo{std::string("a\0b\x85", 4), ""}));
}
