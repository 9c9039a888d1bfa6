// The command-line text shown in the trace of a started program.
#include "execution/CommandLineText.h"

#include <gtest/gtest.h>

TEST(CommandLineTextTest, PlainArgumentsAreJoinedBySingleSpaces) {
    EXPECT_EQ(CommandLineText({L"/opt/suite/BIN/ZelkorCLI.exe", L"--action", L"export"}),
              L"/opt/suite/BIN/ZelkorCLI.exe --action export");
}

TEST(CommandLineTextTest, ArgumentWithASpaceIsQuoted) {
    EXPECT_EQ(CommandLineText({L"ZelkorCLI.exe", L"--output-dir", L"/home/user/Out dir"}),
              L"ZelkorCLI.exe --output-dir \"/home/user/Out dir\"");
}

TEST(CommandLineTextTest, ProgramPathWithASpaceIsQuoted) {
    EXPECT_EQ(CommandLineText({L"/opt/Zelkor Suite/ZelkorCLI.exe", L"-x"}),
              L"\"/opt/Zelkor Suite/ZelkorCLI.exe\" -x");
}

TEST(CommandLineTextTest, InnerDoubleQuotesAreDoubledInsideTheEnclosingQuotes) {
    EXPECT_EQ(CommandLineText({L"prog", L"say \"hi\""}), L"prog \"say \"\"hi\"\"\"");
    // A double quote alone is reason enough to quote.
    EXPECT_EQ(CommandLineText({L"prog", L"a\"b"}), L"prog \"a\"\"b\"");
    EXPECT_EQ(CommandLineText({L"pr\"og"}), L"\"pr\"\"og\"");
}

TEST(CommandLineTextTest, EmptyArgumentAddsOnlyItsSeparator) {
    EXPECT_EQ(CommandLineText({L"prog", L"", L"x"}), L"prog  x");
    EXPECT_EQ(CommandLineText({L"prog", L""}), L"prog ");
}

TEST(CommandLineTextTest, OtherCharactersAreTakenUnchanged) {
    EXPECT_EQ(CommandLineText({L"prog", L"tab\there", L"back\\slash", L"Схема"}),
              L"prog tab\there back\\slash Схема");
}

TEST(CommandLineTextTest, EmptyVectorGivesEmptyText) {
    EXPECT_EQ(CommandLineText({}), L"");
}
