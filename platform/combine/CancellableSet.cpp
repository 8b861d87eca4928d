#include "platform/combine/CancellableSet.hpp"

namespace platform {

void CancellableSet::insert(AnyCancellable cancellable) {
    items_.push_back(std::move(cancellable));
}

void CancellableSet::removeAll() {
    // Cancelling may run code that touches this set again: take the items out first.
    std::vector<AnyCancellable> items = std::move(items_);
    items_.clear();
}

} // namespace platform
