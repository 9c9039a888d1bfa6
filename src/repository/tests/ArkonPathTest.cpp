// Repository paths: the engine's and the editor's reading, failures, and the written identifier.
#include "repository/ArkonPath.h"

#include <boost/uuid/string_generator.hpp>

#include <gtest/gtest.h>

using utils::path::MakeArkonPath;
using utils::path::ParseArkonPath;
using Names = std::vector<std::wstring>;

namespace {

struct Parsed {
    bool ok = false;
    std::wstring root;
    Names names;
    std::optional<boost::uuids::uuid> id;
};

Parsed Parse(const std::wstring& text, bool engine) {
    Parsed parsed;
    parsed.ok = ParseArkonPath(text, parsed.root, parsed.names, parsed.id, engine);
    return parsed;
}

const boost::uuids::uuid kId =
    boost::uuids::string_generator()(std::string("9b2f4c1e-1d2a-4c3b-8e5f-0a1b2c3d4e5f"));

} // namespace

TEST(ArkonPathTest, EngineDropsEmptyNamesSoTheRootHasNone) {
    for (const wchar_t* text : {L"arkon://Проекты", L"arkon://Проекты/", L"arkon://Проекты//"}) {
        const Parsed parsed = Parse(text, true);
        ASSERT_TRUE(parsed.ok) << text;
        EXPECT_EQ(parsed.root, L"Проекты");
        EXPECT_TRUE(parsed.names.empty()) << text;
        EXPECT_FALSE(parsed.id);
    }
    EXPECT_EQ(Parse(L"arkon://c/Папка А/План 1.dwg/", true).names, (Names{L"Папка А", L"План 1.dwg"}));
    EXPECT_EQ(Parse(L"arkon://c//a///b", true).names, (Names{L"a", L"b"}));
}

TEST(ArkonPathTest, EditorKeepsTheTextAfterTheLastSlashEvenWhenEmpty) {
    EXPECT_EQ(Parse(L"arkon://c/", false).names, (Names{L""}));
    EXPECT_EQ(Parse(L"arkon://c", false).names, Names{});
    EXPECT_EQ(Parse(L"arkon://c/a/", false).names, (Names{L"a", L""}));
    EXPECT_EQ(Parse(L"arkon://c/a//b", false).names, (Names{L"a", L"", L"b"}));
    EXPECT_EQ(Parse(L"arkon://c/Папка А/План 1", false).names, (Names{L"Папка А", L"План 1"}));
}

TEST(ArkonPathTest, FailsWithoutSchemeOrConnectionAndLeavesOutputsAlone) {
    for (const wchar_t* text : {L"", L"arkon:/c/a", L"ARKON://c/a", L"http://c/a", L"arkon://", L"arkon:///a",
                                L" arkon://c/a", L"arkon://?id=9b2f4c1e-1d2a-4c3b-8e5f-0a1b2c3d4e5f"}) {
        for (const bool engine : {true, false}) {
            std::wstring root = L"before";
            Names names{L"x"};
            std::optional<boost::uuids::uuid> id = kId;
            EXPECT_FALSE(ParseArkonPath(text, root, names, id, engine)) << text;
            EXPECT_EQ(root, L"before");
            EXPECT_EQ(names, Names{L"x"});
            EXPECT_EQ(id, kId);
        }
    }
}

TEST(ArkonPathTest, MakesTheDesignedForm) {
    EXPECT_EQ(MakeArkonPath(L"Проекты", {L"2026", L"План этажа.dwg"}, std::nullopt),
              L"arkon://Проекты/2026/План этажа.dwg");
    EXPECT_EQ(MakeArkonPath(L"c", {}, std::nullopt), L"arkon://c/");
    EXPECT_EQ(MakeArkonPath(L"c", {L"a"}, kId), L"arkon://c/a?id=9b2f4c1e-1d2a-4c3b-8e5f-0a1b2c3d4e5f");
}

TEST(ArkonPathTest, IdentifierRoundTripsAndIsReadInEitherCase) {
    const Parsed lower = Parse(L"arkon://c/a b/d?id=9b2f4c1e-1d2a-4c3b-8e5f-0a1b2c3d4e5f", true);
    ASSERT_TRUE(lower.ok);
    EXPECT_EQ(lower.names, (Names{L"a b", L"d"}));
    EXPECT_EQ(lower.id, kId);
    EXPECT_EQ(Parse(L"arkon://c/a?id=9B2F4C1E-1D2A-4C3B-8E5F-0A1B2C3D4E5F", true).id, kId);
    // Only a whole canonical UUID at the very end is an identifier; anything else is part of the name.
    for (const wchar_t* text : {L"arkon://c/a?id=9b2f4c1e1d2a4c3b8e5f0a1b2c3d4e5f", L"arkon://c/a?id=nope",
                                L"arkon://c/a?id=9b2f4c1e-1d2a-4c3b-8e5f-0a1b2c3d4e5fx",
                                L"arkon://c/a?ID=9b2f4c1e-1d2a-4c3b-8e5f-0a1b2c3d4e5f"}) {
        const Parsed parsed = Parse(text, true);
        ASSERT_TRUE(parsed.ok);
        EXPECT_FALSE(parsed.id) << text;
        EXPECT_EQ(MakeArkonPath(parsed.root, parsed.names, parsed.id), text);
    }
}

TEST(ArkonPathTest, RoundTripsNamesWithSpacesAndAnyLetters) {
    const std::vector<Names> cases = {
        {},
        {L"a"},
        {L"Проект № 5", L"Ёлка ä ß 中文", L"file with spaces .dwg"},
        {L"?", L"#", L"a?id=", L"%20", L"\\back\\slash"},
        {L"😀"},
    };
    for (const Names& names : cases) {
        for (const std::optional<boost::uuids::uuid>& id :
             {std::optional<boost::uuids::uuid>(), std::optional(kId)}) {
            const std::wstring text = MakeArkonPath(L"Мой сервер", names, id);
            const Parsed engine = Parse(text, true);
            ASSERT_TRUE(engine.ok) << text;
            EXPECT_EQ(engine.root, L"Мой сервер");
            EXPECT_EQ(engine.names, names);
            EXPECT_EQ(engine.id, id);
            if (!names.empty()) {
                const Parsed editor = Parse(text, false);
                EXPECT_EQ(editor.names, names);
                EXPECT_EQ(editor.id, id);
            }
        }
    }
}
