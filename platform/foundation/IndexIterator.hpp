#pragma once

#include <cstddef>

namespace platform {

// A forward iterator over a collection that hands out its elements by position (`c[i]`, often a
// value made on the fly), so that such collections work with range-for and the standard
// algorithms without keeping their elements in an array.
template <class Collection, class Value>
class IndexIterator {
public:
    using value_type = Value;
    using difference_type = std::ptrdiff_t;

    IndexIterator() = default;
    IndexIterator(const Collection* collection, std::size_t position)
        : collection_(collection)
        , position_(position) {}

    Value operator*() const { return (*collection_)[position_]; }
    IndexIterator& operator++() {
        ++position_;
        return *this;
    }
    IndexIterator operator++(int) {
        IndexIterator copy = *this;
        ++position_;
        return copy;
    }
    friend bool operator==(const IndexIterator& a, const IndexIterator& b) {
        return a.position_ == b.position_;
    }

private:
    const Collection* collection_ = nullptr;
    std::size_t position_ = 0;
};

} // namespace platform
