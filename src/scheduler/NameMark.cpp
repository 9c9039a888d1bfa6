#include "NameMark.h"

#include <functional>

namespace {

constexpr std::size_t kKeptWhole = 1024;

} // namespace

NameMark::NameMark(std::wstring_view name) : m_length(name.size()) {
    if (name.size() <= kKeptWhole) {
        m_short = name;
    } else {
        m_hash = std::hash<std::wstring_view>{}(name);
    }
}
