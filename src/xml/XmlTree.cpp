// Parsing XML text into a property tree with a bound on nesting.
#include "xml/XmlTree.h"

#include <boost/property_tree/xml_parser.hpp>

#include <sstream>
#include <string_view>

namespace {

// Moves past the end marker; to the end of the text when it is missing.
std::size_t After(std::wstring_view text, std::size_t from, std::wstring_view end) {
    const std::size_t found = text.find(end, from);
    return found == std::wstring_view::npos ? text.size() : found + end.size();
}

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
}

} // namespace

int XmlNesting(const std::wstring& text, int limit) {
    const std::wstring_view xml = text;
    int depth = 0;
    int deepest = 0;
    std::size_t at = 0;
    // The parser reads up to the first NUL.
    const std::size_t end = std::min(xml.size(), xml.find(L'\0'));
    while (at < end && deepest <= limit) {
        at = xml.find(L'<', at);
        if (at >= end) {
            break;
        }
        const std::wstring_view rest = xml.substr(at, end - at);
        if (rest.starts_with(L"<!--")) {
            at = After(xml, at + 4, L"-->");
        } else if (rest.starts_with(L"<![CDATA[")) {
            at = After(xml, at + 9, L"]]>");
        } else if (rest.starts_with(L"<?")) {
            at = After(xml, at + 2, L"?>");
        } else if (rest.starts_with(L"<!")) {
            at = After(xml, at + 2, L">"); // declarations of a document type hold no elements
        } else if (rest.starts_with(L"</")) {
            depth = std::max(0, depth - 1);
            at = After(xml, at + 2, L">");
        } else {
            // An element's start tag, up to its ">" outside attribute values. A quote opens a value only
            // after "=" (and blanks): elsewhere the parser takes it for part of a name.
            std::size_t i = at + 1;
            wchar_t quote = 0;
            bool afterEquals = false;
            for (; i < end; ++i) {
                const wchar_t c = xml[i];
                if (quote != 0) {
                    quote = c == quote ? 0 : quote;
                } else if (c == L'>') {
                    break;
                } else if (afterEquals && (c == L'"' || c == L'\'')) {
                    quote = c;
                    afterEquals = false;
                } else if (c == L'=') {
                    afterEquals = true;
                } else if (!IsBlank(c)) {
                    afterEquals = false;
                }
            }
            // An empty element is one level down as well, only nothing nests inside it.
            deepest = std::max(deepest, depth + 1);
            if (i >= end || xml[i - 1] != L'/') {
                ++depth;
            }
            at = i + 1;
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
