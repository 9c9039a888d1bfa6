// Telling task names apart without keeping a copy of each: a name may run to millions of characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A name up to the trace's whole length (kWholeNameLength) is kept whole; a longer one as its length and
// a hash of it, so two long names are taken for one only when they are of one length and their hashes
// agree.
class NameMark {
public:
    explicit NameMark(std::wstring_view name = {});

    // Compares without making a mark of `name`: it is called for every stored task under the list's lock.
    bool Marks(std::wstring_view name) const;

private:
    std::wstring m_short;
    std::size_t m_length = 0;
    std::size_t m_hash = 0;
};
