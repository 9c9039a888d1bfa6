// Parsing XML text into a wide property tree without letting the text decide how deep the parser
// recurses: the XML parser, the tree it fills and the tree's copies and destruction all recurse once
// per nesting level, and a damaged file of a few ten thousand nested elements would overflow the stack.
#pragma once

#include <boost/property_tree/ptree.hpp>

#include <string>
#include <string_view>

// Elements nested deeper than this make a text malformed. The program's own files use fewer than ten
// levels.
inline constexpr int kMaximumXmlNesting = 200;

// Parses `text` as boost::property_tree::read_xml does with `flags`; throws
// boost::property_tree::xml_parser_error when the text is not well-formed or nests elements deeper than
// kMaximumXmlNesting.
boost::property_tree::wptree ReadXmlTree(const std::wstring& text, int flags = 0);

// The deepest nesting of elements in `text`, as the parser sees it, counted up to `limit` + 1 at most.
int XmlNesting(const std::wstring& text, int limit = kMaximumXmlNesting);
// The same for a text that is known to end before its first NUL, where the parser stops.
int XmlNestingUpToNul(std::wstring_view text, int limit = kMaximumXmlNesting);
