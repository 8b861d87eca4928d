#include "platform/data/ModelConfiguration.hpp"

#include <cstdlib>
#include <pwd.h>
#include <string>
#include <unistd.h>

namespace platform {

namespace {

std::filesystem::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return home;
    }
    // No HOME (a service manager may start us without one): ask the user database.
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return std::filesystem::path("/");
}

std::filesystem::path dataHome() {
    // Relative values are invalid for this variable and must be ignored.
    if (const char* value = std::getenv("XDG_DATA_HOME"); value != nullptr && value[0] == '/') {
        return value;
    }
    return homeDirectory() / ".local" / "share";
}

} // namespace

std::filesystem::path ModelConfiguration::defaultStoreURL() {
    return dataHome() / "Mossbarrow" / "default.store";
}

} // namespace platform
