// Parsing XML text into a property tree with a bound on nesting.
#include "xml/XmlTree.h"

#include <boost/property_tree/xml_parser.hpp>

#include <algorithm>
#include <sstream>
#include <string_view>

namespace {

// Moves past the end marker; to the end of the text when it is missing.
std::size_t After(std::wstring_view text, std::size_t from, std::wstring_view end) {
    const std::size_t found = text.find(end, from);
    return found == std::wstring_view::npos ? text.size() : found + end.size();
}

// The place of the character, or the end of the text. A plain loop: between the tags of a large file
// lie only a few characters, too few for a library search to pay for its call.
std::size_t Next(std::wstring_view text, std::size_t from, wchar_t c) {
    while (from < text.size() && text[from] != c) {
        ++from;
    }
    return from;
}

// Past the next ">", as After does for one character.
std::size_t AfterClose(std::wstring_view text, std::size_t from) {
    return std::min(Next(text, from, L'>') + 1, text.size());
}

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
}

// The parser's own character classes: a quote or "=" can be part of an element's name.
bool IsElementNameChar(wchar_t c) {
    return !IsBlank(c) && c != L'/' && c != L'>' && c != L'?';
}

bool IsAttributeNameChar(wchar_t c) {
    return IsElementNameChar(c) && c != L'<' && c != L'=' && c != L'!';
}

// A document type declaration ends at the first ">" outside its bracketed internal subset.
std::size_t AfterDocumentType(std::wstring_view text, std::size_t at) {
    int brackets = 0;
    for (; at < text.size(); ++at) {
        if (text[at] == L'[') {
            ++brackets;
        } else if (text[at] == L']' && brackets > 0) {
            --brackets;
        } else if (text[at] == L'>' && brackets == 0) {
            return at + 1;
        }
    }
    return text.size();
}

} // namespace

// Follows the parser's reading of markup step by step, so that the count is the parser's depth up to
// the point where the parser would stop on an error; what follows such a point is never parsed.
int XmlNesting(const std::wstring& text, int limit) {
    // The parser reads up to the first NUL.
    return XmlNestingUpToNul(std::wstring_view(text).substr(0, text.find(L'\0')), limit);
}

int XmlNestingUpToNul(std::wstring_view xml, int limit) {
    const std::size_t end = xml.size();
    const auto skipBlanks = [&xml, end](std::size_t i) {
        while (i < end && IsBlank(xml[i])) {
            ++i;
        }
        return i;
    };
    int depth = 0;
    int deepest = 0;
    std::size_t at = 0;
    while (at < end && deepest <= limit) {
        at = Next(xml, at, L'<');
        if (at >= end) {
            break;
        }
        const std::wstring_view rest = xml.substr(at);
        // Told apart by the character after "<" first: elements, by far the most, then need no more.
        const wchar_t second = rest.size() > 1 ? rest[1] : L'\0';
        if (second == L'!' && rest.starts_with(L"<!--")) {
            at = After(xml, at + 4, L"-->");
        } else if (second == L'!' && rest.starts_with(L"<![CDATA[")) {
            at = After(xml, at + 9, L"]]>");
        } else if (second == L'!' && rest.starts_with(L"<!DOCTYPE") && rest.size() > 9 && IsBlank(rest[9])) {
            at = AfterDocumentType(xml, at + 10);
        } else if (second == L'!') {
            at = AfterClose(xml, at + 2);
        } else if (second == L'?') {
            at = After(xml, at + 2, L"?>");
        } else if (second == L'/') {
            depth = std::max(0, depth - 1);
            at = AfterClose(xml, at + 2);
        } else {
            // An element: its name, its attributes, then ">" (it nests what follows) or "/>" (empty).
            std::size_t i = at + 1;
            while (i < end && IsElementNameChar(xml[i])) {
                ++i;
            }
            i = skipBlanks(i);
            bool wellFormed = true;
            while (wellFormed && i < end && IsAttributeNameChar(xml[i])) {
                while (i < end && IsAttributeNameChar(xml[i])) {
                    ++i;
                }
                i = skipBlanks(i);
                wellFormed = i < end && xml[i] == L'=';
                i = wellFormed ? skipBlanks(i + 1) : i;
                wellFormed = wellFormed && i < end && (xml[i] == L'"' || xml[i] == L'\'');
                if (wellFormed) {
                    const std::size_t close = xml.find(xml[i], i + 1);
                    wellFormed = close != std::wstring_view::npos;
                    i = wellFormed ? skipBlanks(close + 1) : end;
                }
            }
            deepest = std::max(deepest, depth + 1);
            if (wellFormed && i < end && xml[i] == L'>') {
                ++depth;
                at = i + 1;
            } else if (wellFormed && i + 1 < end && xml[i] == L'/' && xml[i + 1] == L'>') {
                at = i + 2;
            } else {
                break; // the parser stops here with an error
            }
        }
    }
    return std::min(deepest, limit + 1);
}

boost::property_tree::wptree ReadXmlTree(const std::wstring& text, int flags) {
    if (XmlNesting(text) > kMaximumXmlNesting) {
        throw boost::property_tree::xml_parser_error("elements nested too deeply", std::string(), 0);
    }
    boost::property_tree::wptree tree;
    std::wistringstream stream(text);
    boost::property_tree::read_xml(stream, tree, flags);
    return tree;
}
