#pragma once

#include "platform/data/Predicate.hpp"
#include "platform/data/SortDescriptor.hpp"

#include <optional>
#include <vector>

namespace platform {

// What to fetch: the records of T that satisfy the predicate (all without one), in the order of
// the sort descriptors (the first one decides, later ones break ties; records that still tie
// keep the order they were stored in).
template <class T>
struct FetchDescriptor {
    std::optional<Predicate<T>> predicate;
    std::vector<SortDescriptor<T>> sortBy;
};

} // namespace platform
