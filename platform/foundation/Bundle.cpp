#include "platform/foundation/Bundle.hpp"

#include <algorithm>
#include <string>
#include <system_error>
#include <unistd.h>

namespace platform {

namespace {

bool isDirectory(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

std::filesystem::path executableDirectory() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || executable.empty()) {
        return std::filesystem::current_path(error);
    }
    return executable.parent_path();
}

// A program several folders below the build directory (tests/Vellum/vellum_tests) still finds
// the build's resources; deeper than this is not a layout we produce.
constexpr int maximumParentSteps = 6;

} // namespace

std::optional<Bundle> Bundle::at(const std::filesystem::path& directory) {
    if (directory.empty() || !isDirectory(directory)) {
        return std::nullopt;
    }
    const std::filesystem::path resources = directory / "Resources";
    // A bundle directory without a "Resources" folder keeps its resources at its top level.
    return Bundle(directory, isDirectory(resources) ? resources : directory);
}

std::optional<std::filesystem::path>
Bundle::findResourceDirectory(const std::filesystem::path& executableDirectory) {
    std::filesystem::path directory = executableDirectory;
    for (int step = 0; step <= maximumParentSteps && !directory.empty(); ++step) {
        if (isDirectory(directory / "Resources")) {
            return directory / "Resources";
        }
        const std::filesystem::path parent = directory.parent_path();
        if (parent == directory) {
            break;
        }
        directory = parent;
    }
    const std::filesystem::path installed =
        executableDirectory.parent_path() / "share" / "mossbarrow" / "Resources";
    if (isDirectory(installed)) {
        return installed;
    }
    return std::nullopt;
}

const Bundle& Bundle::main() {
    static const Bundle bundle = [] {
        std::filesystem::path directory = executableDirectory();
        std::optional<std::filesystem::path> resources = findResourceDirectory(directory);
        return Bundle(std::move(directory), std::move(resources));
    }();
    return bundle;
}

std::optional<std::filesystem::path> Bundle::url(std::string_view name, std::string_view extension,
                                                 std::string_view subdirectory) const {
    if (!resourceURL_ || name.empty()) {
        return std::nullopt;
    }
    std::string file{name};
    if (!extension.empty()) {
        file += '.';
        file += extension;
    }
    std::filesystem::path relative;
    if (!subdirectory.empty()) {
        relative = std::filesystem::path(subdirectory);
    }
    relative /= std::filesystem::path(file);
    // Names come from documents too (a picture's address). An absolute one would replace the
    // resource directory when appended, and ".." or a symbolic link may lead out of it: only a
    // file that lies inside the directory once every link is followed is a resource.
    if (relative.has_root_path()) {
        return std::nullopt;
    }
    const std::filesystem::path path = *resourceURL_ / relative;
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::canonical(path, error);
    if (error) {
        return std::nullopt;
    }
    const std::filesystem::path root = std::filesystem::canonical(*resourceURL_, error);
    if (error) {
        return std::nullopt;
    }
    const auto [rootEnd, inside] =
        std::mismatch(root.begin(), root.end(), resolved.begin(), resolved.end());
    if (rootEnd != root.end() || inside == resolved.end()) {
        return std::nullopt;
    }
    return path;
}

} // namespace platform
