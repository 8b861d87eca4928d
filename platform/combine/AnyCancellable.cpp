#include "platform/combine/AnyCancellable.hpp"

#include "platform/combine/CancellableSet.hpp"

namespace platform {

AnyCancellable::AnyCancellable(AnyCancellable&& other) noexcept
    : cancel_(std::exchange(other.cancel_, nullptr)) {}

AnyCancellable& AnyCancellable::operator=(AnyCancellable&& other) noexcept {
    if (this != &other) {
        cancel();
        cancel_ = std::exchange(other.cancel_, nullptr);
    }
    return *this;
}

AnyCancellable::~AnyCancellable() {
    cancel();
}

void AnyCancellable::cancel() {
    if (std::function<void()> cancel = std::exchange(cancel_, nullptr)) {
        cancel();
    }
}

void AnyCancellable::store(CancellableSet& set) && {
    set.insert(std::move(*this));
}

} // namespace platform
