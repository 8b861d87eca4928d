#pragma once

// A small persistent key-value store for user preferences. The shared store lives in
// $XDG_CONFIG_HOME/mossbarrow/defaults (~/.config when the variable is unset); values are read
// from the file when the store is made and written back on every change, so a setting survives
// restarts. The file is plain text, one "key<TAB>value" line per entry, with backslash escapes for
// tab, line feed and backslash; lines that do not parse are skipped.

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class UserDefaults {
public:
    // The store shared by the whole process, created on first use.
    [[nodiscard]] static UserDefaults& standard();

    // A store kept in `file` (created on the first write, with its directory).
    explicit UserDefaults(std::filesystem::path file);

    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The value as written; nullopt when the key is not set.
    [[nodiscard]] std::optional<std::string> string(std::string_view key) const;
    // True for "1", "true" and "yes" (any case); false for anything else or an unset key.
    [[nodiscard]] bool boolean(std::string_view key) const;

    // Stores the value and writes the file. Returns false when the file could not be written
    // (the value is kept in memory all the same).
    bool set(std::string_view key, std::string_view value);
    bool setBoolean(std::string_view key, bool value) {
        return set(key, std::string_view(value ? "true" : "false"));
    }
    bool remove(std::string_view key);

    // Reads the file again, dropping values that are no longer in it.
    void reload();

    [[nodiscard]] const std::filesystem::path& file() const noexcept { return file_; }

private:
    bool write() const;

    std::filesystem::path file_;
    mutable std::mutex lock_;
    std::map<std::string, std::string, std::less<>> values_;
};

} // namespace platform
