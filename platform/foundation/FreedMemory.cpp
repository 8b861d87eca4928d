#include "platform/foundation/FreedMemory.hpp"

// mimalloc's own entry, present only when the program links it.
extern "C" void mi_collect(bool force) __attribute__((weak));

namespace platform {

void releaseFreedMemory() noexcept {
    if (mi_collect != nullptr) {
        mi_collect(true);
    }
}

} // namespace platform
