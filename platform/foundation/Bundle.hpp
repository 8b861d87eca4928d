#pragma once

// A bundle is a directory of resources. The main bundle is the directory of the running
// executable; its resources live in a "Resources" directory found from there, so the build tree
// and an installed tree are laid out alike:
//
//   build tree:   <build>/Resources            (any executable below <build>)
//   install tree: <prefix>/share/mossbarrow/Resources  (executables in <prefix>/bin)
//
// Library resource bundles are directories inside the main bundle's resources
// ("vellum_Vellum.bundle", "math-typeset_MathTypeset.bundle").

#include <filesystem>
#include <optional>
#include <string_view>

namespace platform {

class Bundle {
public:
    // Opens the bundle at `directory`; nullopt when it is not a readable directory.
    [[nodiscard]] static std::optional<Bundle> at(const std::filesystem::path& directory);

    // The bundle of the running executable, looked up once per process.
    [[nodiscard]] static const Bundle& main();

    // The bundle's own directory.
    [[nodiscard]] const std::filesystem::path& bundleURL() const noexcept { return bundleURL_; }
    // The directory that holds its resources; nullopt when it has none.
    [[nodiscard]] const std::optional<std::filesystem::path>& resourceURL() const noexcept {
        return resourceURL_;
    }

    // The path of resource `name` (with `extension` appended after a dot unless empty) in the
    // resource directory or the given subdirectory of it; nullopt when no such file exists, and
    // for a name that is absolute or leads out of the resource directory (through ".." or a
    // symbolic link).
    [[nodiscard]] std::optional<std::filesystem::path>
    url(std::string_view name, std::string_view extension = {},
        std::string_view subdirectory = {}) const;

    friend bool operator==(const Bundle& a, const Bundle& b) {
        return a.bundleURL_ == b.bundleURL_;
    }

    // How the main bundle finds its resource directory from the executable's directory; exposed
    // for tests. Walks at most a few parents, then tries the install layout.
    [[nodiscard]] static std::optional<std::filesystem::path>
    findResourceDirectory(const std::filesystem::path& executableDirectory);

private:
    Bundle(std::filesystem::path bundleURL, std::optional<std::filesystem::path> resourceURL)
        : bundleURL_(std::move(bundleURL))
        , resourceURL_(std::move(resourceURL)) {}

    std::filesystem::path bundleURL_;
    std::optional<std::filesystem::path> resourceURL_;
};

} // namespace platform
