// The one-pass sequences the repository hands out: item listings and the blobs of a document.
#pragma once

#include "BlobInfo.h"
#include "BrowserItemInfo.h"

#include <utility>
#include <vector>

namespace arkon {

template <typename T>
class Enumerator {
public:
    virtual ~Enumerator() = default;
    // Fills `item` with the next element; false at the end, and `item` is then left as it was.
    virtual bool Next(T& item) = 0;
};

using ItemEnumerator = Enumerator<BrowserItemInfo>;
using BlobEnumerator = Enumerator<BlobInfo>;

// An enumerator over elements already read, for backends that must read a whole listing to sort it.
template <typename T>
class VectorEnumerator final : public Enumerator<T> {
public:
    explicit VectorEnumerator(std::vector<T> items) : items_(std::move(items)) {}

    bool Next(T& item) override {
        if (next_ >= items_.size()) {
            return false;
        }
        item = std::move(items_[next_++]);
        return true;
    }

private:
    std::vector<T> items_;
    std::size_t next_ = 0;
};

} // namespace arkon
