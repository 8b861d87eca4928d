#pragma once

#include <functional>
#include <utility>

namespace platform {

class CancellableSet;

// Ends a subscription when cancelled or destroyed (whichever comes first); after that its
// receiver is never called again.
class AnyCancellable {
public:
    AnyCancellable() = default;
    explicit AnyCancellable(std::function<void()> cancel)
        : cancel_(std::move(cancel)) {}
    AnyCancellable(AnyCancellable&& other) noexcept;
    AnyCancellable& operator=(AnyCancellable&& other) noexcept;
    AnyCancellable(const AnyCancellable&) = delete;
    AnyCancellable& operator=(const AnyCancellable&) = delete;
    ~AnyCancellable();

    void cancel();
    // Moves the subscription into `set`, which keeps it until the set is cleared or destroyed.
    void store(CancellableSet& set) &&;

private:
    std::function<void()> cancel_;
};

} // namespace platform
