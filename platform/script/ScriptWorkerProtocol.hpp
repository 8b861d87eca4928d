#pragma once

// What a script worker process and its pool say to each other over the worker's standard input
// and output. Every message is a 32-bit little-endian length followed by that many bytes:
//
//   pool -> worker, once:   strings [script, source URL]
//   worker -> pool, once:   strings ["ready"], or ["unavailable"] when it has no engine
//   pool -> worker:         strings [function name, arguments...]
//   worker -> pool:         a reply: 0 (failed), or 1, the object count, and per object its
//                           member count and name/value strings
//
// A string is a 32-bit length and its bytes; numbers are 32-bit little-endian. Whatever is read
// is checked against the bytes actually there: a worker killed part-way, or one that went wrong,
// never makes the reader allocate or read past what arrived.

#include "platform/script/JSContext.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::scriptworker {

// The largest message either side accepts. A reply to a large input may be several times its
// size (every token carries its names); more than this means something went wrong.
inline constexpr std::size_t maximumMessageSize = std::size_t{128} << 20;

inline constexpr std::string_view readyWord = "ready";
inline constexpr std::string_view unavailableWord = "unavailable";

using Reply = std::optional<std::vector<JSContext::StringObject>>;

// A whole message, length prefix included.
[[nodiscard]] std::string encodeStrings(std::span<const std::string_view> strings);
[[nodiscard]] std::string encodeCall(std::string_view name, std::span<const std::string> arguments);
[[nodiscard]] std::string encodeReply(const Reply& reply);

// The payload's strings; nullopt when it is not exactly a list of strings.
[[nodiscard]] std::optional<std::vector<std::string>> decodeStrings(std::string_view payload);
// The reply a payload holds; false when it is malformed.
[[nodiscard]] bool decodeReply(std::string_view payload, Reply& reply);

// The payload length announced by a message's first four bytes.
[[nodiscard]] std::uint32_t decodeLength(const unsigned char (&header)[4]) noexcept;

} // namespace platform::scriptworker
