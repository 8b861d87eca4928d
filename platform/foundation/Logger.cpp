#include "platform/foundation/Logger.hpp"

#include <cstdio>

namespace platform {

namespace {

struct SinkSlot {
    std::mutex lock;
    Logger::Sink sink;
};

SinkSlot& sinkSlot() {
    static SinkSlot slot;
    return slot;
}

int priority(Logger::Level level) {
    switch (level) {
    case Logger::Level::debug:
        return 7;
    case Logger::Level::info:
        return 6;
    case Logger::Level::notice:
        return 5;
    case Logger::Level::error:
        return 3;
    case Logger::Level::fault:
        return 2;
    }
    return 6;
}

} // namespace

Logger::Logger(std::string subsystem, std::string category)
    : subsystem_(std::move(subsystem))
    , category_(std::move(category))
    , enabled_(true) {}

Logger Logger::disabled() {
    return Logger();
}

void Logger::setSink(Sink sink) {
    SinkSlot& slot = sinkSlot();
    const std::scoped_lock guard(slot.lock);
    slot.sink = std::move(sink);
}

void Logger::log(Level level, std::string_view message) const {
    if (!enabled_) {
        return;
    }
    std::string line;
    line.reserve(subsystem_.size() + category_.size() + message.size() + 8);
    line.append("<").append(std::to_string(priority(level))).append(">");
    line.append(subsystem_).append("[").append(category_).append("]: ");
    // One message is one line: embedded breaks would split it in the journal.
    for (const char c : message) {
        line += (c == '\n' || c == '\r') ? ' ' : c;
    }
    SinkSlot& slot = sinkSlot();
    const std::scoped_lock guard(slot.lock);
    if (slot.sink) {
        slot.sink(level, line);
        return;
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

} // namespace platform
