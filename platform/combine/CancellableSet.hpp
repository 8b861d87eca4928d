#pragma once

#include "platform/combine/AnyCancellable.hpp"

#include <cstddef>
#include <vector>

namespace platform {

// Keeps subscriptions alive for as long as their owner (typically a view model) lives.
class CancellableSet {
public:
    CancellableSet() = default;
    CancellableSet(CancellableSet&&) noexcept = default;
    CancellableSet& operator=(CancellableSet&&) noexcept = default;
    CancellableSet(const CancellableSet&) = delete;
    CancellableSet& operator=(const CancellableSet&) = delete;
    ~CancellableSet() = default;

    void insert(AnyCancellable cancellable);
    // Cancels and drops every subscription held.
    void removeAll();
    [[nodiscard]] std::size_t size() const { return items_.size(); }
    [[nodiscard]] bool empty() const { return items_.empty(); }

private:
    std::vector<AnyCancellable> items_;
};

} // namespace platform
