#pragma once

// A logger for one subsystem and category. Messages go to standard error, one line each,
// prefixed with a syslog priority ("<7>" for debug) that the journal reads when the program runs
// as a service, followed by "subsystem[category]: ". A disabled logger writes nothing.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace platform {

class Logger {
public:
    enum class Level { debug, info, notice, error, fault };

    // Where lines go; standard error unless replaced (tests collect the lines).
    using Sink = std::function<void(Level, std::string_view line)>;

    Logger(std::string subsystem, std::string category);
    // A logger that discards every message.
    [[nodiscard]] static Logger disabled();

    [[nodiscard]] bool isEnabled() const noexcept { return enabled_; }
    [[nodiscard]] const std::string& subsystem() const noexcept { return subsystem_; }
    [[nodiscard]] const std::string& category() const noexcept { return category_; }

    void log(Level level, std::string_view message) const;
    void debug(std::string_view message) const { log(Level::debug, message); }
    void info(std::string_view message) const { log(Level::info, message); }
    void notice(std::string_view message) const { log(Level::notice, message); }
    void error(std::string_view message) const { log(Level::error, message); }
    void fault(std::string_view message) const { log(Level::fault, message); }

    // Replaces the process-wide sink; an empty function restores standard error.
    static void setSink(Sink sink);

private:
    Logger() = default;

    std::string subsystem_;
    std::string category_;
    bool enabled_ = false;
};

} // namespace platform
