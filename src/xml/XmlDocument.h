// XML text parsed as ReadXmlTree parses it, walked through the parser's own nodes instead of a property
// tree: for a reader that walks a large text once, the tree's nodes cost many times the parse.
#pragma once

#include <boost/property_tree/detail/rapidxml.hpp>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An element of a parsed document (or the document itself, whose children are the top-level
// elements), seen as the property tree would hold it: its child elements by name, in document order,
// and its text.
class XmlElement {
public:
    using Node = boost::property_tree::detail::rapidxml::xml_node<wchar_t>;

    explicit XmlElement(const Node* node) : m_node(node) {}

    std::wstring_view Name() const { return {m_node->name(), m_node->name_size()}; }
    // The first child element of that name, as the tree's get_child_optional finds it.
    std::optional<XmlElement> Child(std::wstring_view name) const;
    // The text and CDATA inside the element (not inside its children), joined: the tree's data.
    std::wstring Text() const;
    // Every child element, in document order.
    std::vector<XmlElement> Children() const;

private:
    const Node* m_node;
};

class XmlDocument {
public:
    // Parses `text` as ReadXmlTree does with no flags; throws boost::property_tree::xml_parser_error
    // when it would.
    // The text is parsed where it stands.
    explicit XmlDocument(std::wstring text);
    // The same for text in a buffer of its own: `length` characters up to the first NUL, where the parser
    // stops (the buffer may hold more after it, but a NUL always follows them). Spares the filling of a
    // string before the text is written into it, which for a large file costs as much as the parse.
    XmlDocument(std::shared_ptr<wchar_t[]> text, std::size_t length);
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    XmlElement Root() const;

private:
    void Parse(wchar_t* text, std::size_t length);

    // The parser's nodes point into one of them.
    std::wstring m_text;
    std::shared_ptr<wchar_t[]> m_buffer;
    std::unique_ptr<boost::property_tree::detail::rapidxml::xml_document<wchar_t>> m_document;
};
