// Reading the end of a task log: where a cut may fall, what follows a growing file, and a 100 MB log.
#include "execution/LogTail.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class LogTailTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_folder.isValid()); }

    QString Path() const { return m_folder.filePath(QStringLiteral("task.log")); }

    void Write(const QByteArray& bytes, QIODevice::OpenMode mode = QIODevice::Append) const {
        QFile file(Path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | mode));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

private:
    QTemporaryDir m_folder;
};

// "08.12.2026 09:30:00 Строка N\n" for N in [first, last), as a task log holds them.
QByteArray Lines(int first, int last) {
    QByteArray bytes;
    for (int i = first; i < last; ++i) {
        bytes += "08.12.2026 09:30:00 Строка " + QByteArray::number(i) + '\n';
    }
    return bytes;
}

} // namespace

TEST_F(LogTailTest, CutFallsOnTheFirstWholeLineInReach) {
    Write("aaaa\nbbbb\ncccc\n"); // lines start at 0, 5 and 10; 15 bytes
    struct Case {
        qint64 limit;
        const char* text;
        qint64 start;
    };
    const Case cases[] = {
        {15, "aaaa\nbbbb\ncccc\n", 0}, // the whole file
        {100, "aaaa\nbbbb\ncccc\n", 0},
        {10, "bbbb\ncccc\n", 5}, // the cut is a line start: that line is whole
        {11, "bbbb\ncccc\n", 5},
        {9, "cccc\n", 10}, // inside a line: from the next one
        {4, "", 0},        // not one whole line in reach
    };
    for (const Case& c : cases) {
        const LogPiece piece = ReadLogPiece(Path(), 0, c.limit);
        EXPECT_TRUE(piece.exists);
        EXPECT_EQ(piece.text, QString::fromUtf8(c.text)) << "limit " << c.limit;
        EXPECT_EQ(piece.start, c.start) << "limit " << c.limit;
        EXPECT_EQ(piece.end, c.text[0] != '\0' ? 15 : 0) << "limit " << c.limit;
    }
}

TEST_F(LogTailTest, FollowsTheFileAsItGrowsAndStartsAgainWhenItIsReplaced) {
    EXPECT_FALSE(ReadLogPiece(Path(), 0).exists);
    Write("one\ntw");
    LogPiece piece = ReadLogPiece(Path(), 0);
    EXPECT_EQ(piece.text, QStringLiteral("one\n")); // a line halfway written waits
    EXPECT_EQ(piece.end, 4);

    Write("o\nthree\n");
    piece = ReadLogPiece(Path(), piece.end);
    EXPECT_EQ(piece.text, QStringLiteral("two\nthree\n"));
    EXPECT_FALSE(piece.restarted);
    EXPECT_EQ(ReadLogPiece(Path(), piece.end).text, QString());

    Write("new\n", QIODevice::Truncate);
    piece = ReadLogPiece(Path(), piece.end);
    EXPECT_TRUE(piece.restarted);
    EXPECT_EQ(piece.text, QStringLiteral("new\n"));
    EXPECT_EQ(piece.start, 0);
}

TEST_F(LogTailTest, HundredMegabyteLogGivesItsLastTwoMebibytesFromALineStart) {
    const QByteArray block = Lines(0, 100000);
    const int blocks = static_cast<int>(100 * 1024 * 1024 / block.size()) + 1;
    for (int i = 0; i < blocks; ++i) {
        Write(block);
    }
    const QByteArray last = Lines(100000, 100003);
    Write(last);
    const qint64 size = QFile(Path()).size();
    ASSERT_GE(size, 100 * 1024 * 1024);

    const LogPiece piece = ReadLogPiece(Path(), 0);
    const QByteArray text = piece.text.toUtf8();
    EXPECT_EQ(piece.end, size);
    EXPECT_GT(piece.start, size - kLogTailBytes);
    EXPECT_EQ(piece.start + text.size(), size);
    EXPECT_TRUE(text.endsWith(last));
    // The first line is a whole one: the byte before it ends a line, and it reads as a line of the file.
    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    ASSERT_TRUE(file.seek(piece.start - 1));
    EXPECT_EQ(file.read(1), QByteArray("\n"));
    EXPECT_TRUE(text.startsWith("08.12.2026 09:30:00 Строка ")) << text.left(60).constData();
}
