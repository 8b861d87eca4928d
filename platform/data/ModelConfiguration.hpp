#pragma once

#include <filesystem>
#include <optional>

namespace platform {

// Where a container keeps its store.
struct ModelConfiguration {
    // The store file; nullopt means defaultStoreURL().
    std::optional<std::filesystem::path> url;
    // A private store that lives only as long as the container (nothing touches the disk).
    bool isStoredInMemoryOnly = false;

    // "default.store" in the program's folder of the user's data directory:
    // $XDG_DATA_HOME/Mossbarrow, or ~/.local/share/Mossbarrow when that variable is unset, empty
    // or not an absolute path.
    [[nodiscard]] static std::filesystem::path defaultStoreURL();
};

} // namespace platform
