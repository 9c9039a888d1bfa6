// Parsing XML text into the parser's own nodes, with the same bound on nesting as the property tree.
#include "xml/XmlDocument.h"

#include "xml/XmlTree.h"

#include <boost/property_tree/xml_parser.hpp>

#include <algorithm>

namespace rapidxml = boost::property_tree::detail::rapidxml;

std::optional<XmlElement> XmlElement::Child(std::wstring_view name) const {
    for (const Node* child = m_node->first_node(); child != nullptr; child = child->next_sibling()) {
        if (child->type() == rapidxml::node_element &&
            std::wstring_view(child->name(), child->name_size()) == name) {
            return XmlElement(child);
        }
    }
    return std::nullopt;
}

std::wstring XmlElement::Text() const {
    std::wstring text;
    for (const Node* child = m_node->first_node(); child != nullptr; child = child->next_sibling()) {
        if (child->type() == rapidxml::node_data || child->type() == rapidxml::node_cdata) {
            text.append(child->value(), child->value_size());
        }
    }
    return text;
}

std::vector<XmlElement> XmlElement::Children() const {
    std::vector<XmlElement> children;
    for (const Node* child = m_node->first_node(); child != nullptr; child = child->next_sibling()) {
        if (child->type() == rapidxml::node_element) {
            children.emplace_back(child);
        }
    }
    return children;
}

XmlDocument::XmlDocument(std::wstring text)
    : m_text(std::move(text)), m_document(std::make_unique<rapidxml::xml_document<wchar_t>>()) {
    Parse(m_text.data(), std::min(m_text.find(L'\0'), m_text.size()));
}

XmlDocument::XmlDocument(std::shared_ptr<wchar_t[]> text, std::size_t length)
    : m_buffer(std::move(text)), m_document(std::make_unique<rapidxml::xml_document<wchar_t>>()) {
    Parse(m_buffer.get(), length);
}

void XmlDocument::Parse(wchar_t* text, std::size_t length) {
    if (XmlNestingUpToNul(std::wstring_view(text, length)) > kMaximumXmlNesting) {
        throw boost::property_tree::xml_parser_error("elements nested too deeply", std::string(), 0);
    }
    // The parser ends at the text's first NUL, as the tree's reader does.
    try {
        // The flags the tree's reader uses when asked for no flags.
        m_document->parse<rapidxml::parse_comment_nodes>(text);
    } catch (const rapidxml::parse_error& error) {
        const long line = static_cast<long>(std::count(text, error.where<wchar_t>(), L'\n') + 1);
        throw boost::property_tree::xml_parser_error(error.what(), std::string(), line);
    }
}

XmlDocument::~XmlDocument() = default;

XmlElement XmlDocument::Root() const {
    return XmlElement(m_document.get());
}
