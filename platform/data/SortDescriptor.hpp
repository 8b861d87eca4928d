#pragma once

#include "platform/data/Predicate.hpp"

#include <string>

namespace platform {

enum class SortOrder { forward, reverse };

// Orders fetched records by one attribute. Text orders by its bytes (case-sensitive), an absent
// optional before any value.
template <class Root>
class SortDescriptor {
public:
    template <class Value>
    explicit SortDescriptor(const KeyPath<Root, Value>& keyPath,
                            SortOrder order = SortOrder::forward)
        : attribute_(keyPath.name())
        , order_(order) {}

    [[nodiscard]] const std::string& attribute() const { return attribute_; }
    [[nodiscard]] SortOrder order() const { return order_; }

private:
    std::string attribute_;
    SortOrder order_;
};

} // namespace platform
