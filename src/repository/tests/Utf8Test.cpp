// UTF-8 conversions: names must come back exactly, and malformed bytes must never pass as names.
#include "repository/Utf8.h"

#include <gtest/gtest.h>

TEST(Utf8Test, RoundTripsAsciiCyrillicAndAstralText) {
    const std::wstring text = L"Проект 1 — план ä 😀";
    const auto bytes = Utf8FromWide(text);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, "\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB5\xD0\xBA\xD1\x82 1 \xE2\x80\x94 "
                      "\xD0\xBF\xD0\xBB\xD0\xB0\xD0\xBD \xC3\xA4 \xF0\x9F\x98\x80");
    EXPECT_EQ(WideFromUtf8(*bytes), text);
    EXPECT_EQ(WideFromUtf8(""), std::wstring());
}

TEST(Utf8Test, RefusesMalformedBytes) {
    for (const char* bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xD0", "\x80", "a\xFF",
                            "\xF4\x90\x80\x80", "\xF0\x9F\x98"}) {
        EXPECT_FALSE(WideFromUtf8(bad)) << bad;
        EXPECT_NE(WideFromUtf8Lossy(bad).find(L'\uFFFD'), std::wstring::npos) << bad;
    }
}

TEST(Utf8Test, RefusesValuesThatAreNotCharacters) {
    EXPECT_FALSE(Utf8FromWide(std::wstring(1, static_cast<wchar_t>(0xD800))));
    EXPECT_FALSE(Utf8FromWide(std::wstring(1, static_cast<wchar_t>(0x110000))));
    EXPECT_FALSE(Utf8FromWide(std::wstring(1, static_cast<wchar_t>(-1))));
    EXPECT_EQ(Utf8FromWideLossy(std::wstring(L"a") + static_cast<wchar_t>(0xDC00)), "a\xEF\xBF\xBD");
}

TEST(Utf8Test, PrefixEndsBetweenCharacters) {
    const std::string text = "a\xD0\x9F\xE2\x80\x94\xF0\x9F\x98\x80"; // a, П, —, 😀: 1 + 2 + 3 + 4 bytes
    struct Case {
        std::string_view bytes;
        std::size_t max;
        std::size_t expected;
    };
    const Case cases[] = {
        {text, 100, text.size()},
        {text, text.size(), text.size()},
        {text, 0, 0},
        {text, 1, 1},
        {text, 2, 1},
        {text, 3, 3},
        {text, 5, 3},
        {text, 6, 6},
        {text, 7, 6},
        {text, 9, 6},
        {"\x80\x80\x80\x80\x80", 4, 4}, // no character to go back to: cut where asked
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8PrefixLength(c.bytes, c.max), c.expected) << c.max;
    }
}
