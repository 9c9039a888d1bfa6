#include "NameMark.h"

#include "execution/LogLine.h"

#include <functional>

namespace {

bool KeptWhole(std::wstring_view name) {
    return name.size() <= kWholeNameLength;
}

std::size_t Hash(std::wstring_view name) {
    return std::hash<std::wstring_view>{}(name);
}

} // namespace

NameMark::NameMark(std::wstring_view name) : m_length(name.size()) {
    if (KeptWhole(name)) {
        m_short = name;
    } else {
        m_hash = Hash(name);
    }
}

bool NameMark::Marks(std::wstring_view name) const {
    if (name.size() != m_length) {
        return false;
    }
    return KeptWhole(name) ? name == m_short : Hash(name) == m_hash;
}
