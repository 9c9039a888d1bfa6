// The nesting bound of XML parsing: counted as the parser nests, and enforced before it runs.
#include "xml/XmlTree.h"

#include <boost/property_tree/xml_parser.hpp>

#include <gtest/gtest.h>

namespace {

std::wstring Nested(int levels, const std::wstring& inner = L"") {
    std::wstring text;
    for (int i = 0; i < levels; ++i) {
        text += L"<a>";
    }
    text += inner;
    for (int i = 0; i < levels; ++i) {
        text += L"</a>";
    }
    return text;
}

} // namespace

TEST(XmlTreeTest, NestingCountsOpenElementsOnly) {
    EXPECT_EQ(XmlNesting(L""), 0);
    EXPECT_EQ(XmlNesting(L"plain text"), 0);
    EXPECT_EQ(XmlNesting(L"<?xml version=\"1.0\"?>\n<config><a/><b x='>' y=\"/>\"><c>t</c></b></config>"), 3);
    EXPECT_EQ(XmlNesting(Nested(7)), 7);
    EXPECT_EQ(XmlNesting(L"<a><b/><b/><b/></a>"), 2);
    EXPECT_EQ(XmlNesting(L"<a/><b/>"), 1);
    // Nothing inside comments, character data or declarations is an element.
    EXPECT_EQ(XmlNesting(L"<a><!-- <b><c><d> --><![CDATA[<b><c>]]><?pi <b>?><!DOCTYPE x></a>"), 1);
    // A quote outside an attribute value is part of a name to the parser, and opens nothing.
    EXPECT_EQ(XmlNesting(L"<'><s/></>"), 2);
    EXPECT_EQ(XmlNesting(L"<a b = '>'><c x=\"'\"><d/></c></a>"), 3);
    EXPECT_EQ(XmlNesting(L"<=\"><k/></>"), 2);
    // A document type's internal subset is skipped whole, markup-like text and all.
    EXPECT_EQ(XmlNesting(L"<a><!DOCTYPE x [<!ENTITY e '>'> </a></a>]><b><c/></b></a>"), 3);
    // The parser stops at the first error; nothing after it counts.
    EXPECT_EQ(XmlNesting(L"<a x><b><c><d>"), 1);
    // Unclosed elements of a damaged text still count, and so does a start tag cut short.
    EXPECT_EQ(XmlNesting(L"<a><b><c"), 3);
    // The parser reads up to the first NUL, and so does the count.
    EXPECT_EQ(XmlNesting(std::wstring(L"<a>\0<b><c>", 10)), 1);
    // Counting stops past the limit.
    EXPECT_EQ(XmlNesting(Nested(50), 10), 11);
}

TEST(XmlTreeTest, ReadsLikeTheXmlReader) {
    const auto tree = ReadXmlTree(L"<config a=\"1\"><!-- c --><x> v </x></config>");
    EXPECT_EQ(tree.get<std::wstring>(L"config.x"), L" v ");
    EXPECT_EQ(tree.get<std::wstring>(L"config.<xmlattr>.a"), L"1");
    EXPECT_EQ(tree.get<std::wstring>(L"config.<xmlcomment>"), L" c ");
    const auto trimmed =
        ReadXmlTree(L"<config><x> v </x></config>", boost::property_tree::xml_parser::trim_whitespace);
    EXPECT_EQ(trimmed.get<std::wstring>(L"config.x"), L"v");
    EXPECT_THROW(ReadXmlTree(L"<config><x></config>"), boost::property_tree::xml_parser_error);
}

TEST(XmlTreeTest, TooDeepANestingIsMalformed) {
    EXPECT_NO_THROW(ReadXmlTree(Nested(kMaximumXmlNesting, L"x")));
    EXPECT_THROW(ReadXmlTree(Nested(kMaximumXmlNesting + 1)), boost::property_tree::xml_parser_error);
    // Deep enough to overflow the stack of the parser, the tree or its destruction without the bound.
    EXPECT_THROW(ReadXmlTree(Nested(500'000)), boost::property_tree::xml_parser_error);
}
