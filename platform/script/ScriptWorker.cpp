#include "platform/script/ScriptWorker.hpp"

#include "platform/script/JSContext.hpp"
#include "platform/script/ScriptWorkerProtocol.hpp"

#include <array>
#include <cerrno>
#include <csignal>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int input = STDIN_FILENO;
constexpr int output = STDOUT_FILENO;

bool readExactly(int fd, char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t count = ::read(fd, data, size);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        data += count;
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(fd, bytes.data(), bytes.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

// The next message's payload; nullopt at the end of the input or on one too large to be ours.
std::optional<std::string> readMessage() {
    unsigned char header[4];
    if (!readExactly(input, reinterpret_cast<char*>(header), sizeof header)) {
        return std::nullopt;
    }
    const std::uint32_t length = scriptworker::decodeLength(header);
    if (length > scriptworker::maximumMessageSize) {
        return std::nullopt;
    }
    std::string payload(length, '\0');
    if (!readExactly(input, payload.data(), payload.size())) {
        return std::nullopt;
    }
    return payload;
}

bool say(std::string_view word) {
    const std::array<std::string_view, 1> words = {word};
    return writeAll(output, scriptworker::encodeStrings(words));
}

} // namespace

int runScriptWorker() {
    // A worker outlives no pool: should the process that started it die without closing our
    // input, the kernel ends us too.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);

    const std::optional<std::string> first = readMessage();
    const std::optional<std::vector<std::string>> script =
        first ? scriptworker::decodeStrings(*first) : std::nullopt;
    if (!script || script->size() != 2) {
        return 2;
    }
    const std::unique_ptr<JSContext> context = JSContext::make();
    if (!context) {
        say(scriptworker::unavailableWord);
        return 1;
    }
    // A script that throws part-way may still have defined what is called later; each call
    // finds out.
    context->evaluate((*script)[0], (*script)[1]);
    if (!say(scriptworker::readyWord)) {
        return 0;
    }

    for (;;) {
        const std::optional<std::string> message = readMessage();
        if (!message) {
            return 0;
        }
        std::optional<std::vector<std::string>> call = scriptworker::decodeStrings(*message);
        if (!call || call->empty()) {
            return 2;
        }
        const std::string name = std::move(call->front());
        const std::span<const std::string> arguments(call->data() + 1, call->size() - 1);
        const scriptworker::Reply reply = context->callReturningStringObjects(name, arguments);
        if (!writeAll(output, scriptworker::encodeReply(reply))) {
            return 0;
        }
    }
}

} // namespace platform
