#include "platform/foundation/UserDefaults.hpp"

#include "platform/foundation/ASCII.hpp"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>
#include <unistd.h>

namespace platform {

namespace {

std::filesystem::path standardFile() {
    const char* const config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return std::filesystem::path(config) / "mossbarrow" / "defaults";
    }
    const char* const home = std::getenv("HOME");
    const std::filesystem::path base = home != nullptr && home[0] != '\0'
                                           ? std::filesystem::path(home)
                                           : std::filesystem::temp_directory_path();
    return base / ".config" / "mossbarrow" / "defaults";
}

std::string escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::optional<std::string> unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) {
            return std::nullopt;
        }
        switch (text[i]) {
        case '\\':
            out += '\\';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        default:
            return std::nullopt;
        }
    }
    return out;
}

} // namespace

UserDefaults& UserDefaults::standard() {
    static UserDefaults defaults(standardFile());
    return defaults;
}

UserDefaults::UserDefaults(std::filesystem::path file)
    : file_(std::move(file)) {
    reload();
}

void UserDefaults::reload() {
    std::map<std::string, std::string, std::less<>> values;
    std::ifstream in(file_);
    std::string line;
    while (in && std::getline(in, line)) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            continue;
        }
        auto key = unescape(std::string_view(line).substr(0, tab));
        auto value = unescape(std::string_view(line).substr(tab + 1));
        if (key && value && !key->empty()) {
            values[std::move(*key)] = std::move(*value);
        }
    }
    const std::scoped_lock guard(lock_);
    values_ = std::move(values);
}

std::optional<std::string> UserDefaults::string(std::string_view key) const {
    const std::scoped_lock guard(lock_);
    const auto found = values_.find(key);
    if (found == values_.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool UserDefaults::boolean(std::string_view key) const {
    const std::optional<std::string> value = string(key);
    if (!value) {
        return false;
    }
    const std::string_view text = ascii::trimmed(*value);
    return text == "1" || ascii::equalsIgnoringCase(text, "true") ||
           ascii::equalsIgnoringCase(text, "yes");
}

bool UserDefaults::set(std::string_view key, std::string_view value) {
    if (key.empty()) {
        return false;
    }
    const std::scoped_lock guard(lock_);
    values_.insert_or_assign(std::string(key), std::string(value));
    return write();
}

bool UserDefaults::remove(std::string_view key) {
    const std::scoped_lock guard(lock_);
    const auto found = values_.find(key);
    if (found != values_.end()) {
        values_.erase(found);
    }
    return write();
}

bool UserDefaults::write() const {
    std::error_code error;
    std::filesystem::create_directories(file_.parent_path(), error);
    // Written beside the file and renamed over it, so a reader never sees half a file.
    const std::filesystem::path temporary =
        file_.string() + ".tmp" + std::to_string(static_cast<long>(::getpid()));
    {
        std::ofstream out(temporary, std::ios::trunc);
        for (const auto& [key, value] : values_) {
            out << escape(key) << '\t' << escape(value) << '\n';
        }
        out.flush();
        if (!out) {
            std::filesystem::remove(temporary, error);
            return false;
        }
    }
    std::filesystem::rename(temporary, file_, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

} // namespace platform
