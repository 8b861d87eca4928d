#pragma once

// Regular expressions over UTF-8 text (Perl syntax: lazy quantifiers, look-ahead, inline flags
// such as (?s), capture groups). Every match runs under limits on backtracking steps and depth,
// so no subject can make one match call run away: hitting a limit is an error, not a hang.
//
// Offsets are UTF-8 byte offsets into the subject; utf16Offset() converts where a caller counts
// in UTF-16 code units.

#include "platform/foundation/Error.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class RegexError : public Error {
public:
    explicit RegexError(std::string message)
        : message_(std::move(message)) {}
    [[nodiscard]] std::string localizedDescription() const override { return message_; }

private:
    std::string message_;
};

class Regex {
public:
    struct Options {
        bool caseInsensitive = false;
        bool dotMatchesNewlines = false;
        // Backtracking steps one match call may take before it fails with a RegexError.
        std::uint32_t matchLimit = 10'000'000;
        // Nested backtracking frames, and the memory for them in KiB, one match call may use
        // when the pattern runs in the interpreter (where the JIT is unavailable).
        std::uint32_t depthLimit = 10'000'000;
        std::uint32_t heapLimit = 256 * 1024;
    };

    struct Group {
        std::size_t begin = 0; // UTF-8 offsets into the subject
        std::size_t end = 0;
        friend bool operator==(const Group&, const Group&) = default;
    };

    struct Match {
        // Group 0 is the whole match; an unset group is nullopt.
        std::vector<std::optional<Group>> groups;

        [[nodiscard]] const Group& whole() const { return *groups.front(); }
        [[nodiscard]] std::optional<std::string_view> group(std::size_t index,
                                                            std::string_view subject) const;
    };

    // Compiles `pattern`; throws RegexError with the engine's message and offset when it is not
    // a valid expression.
    explicit Regex(std::string_view pattern);
    Regex(std::string_view pattern, const Options& options);
    ~Regex();
    Regex(const Regex& other);
    Regex& operator=(const Regex& other);
    Regex(Regex&&) noexcept;
    Regex& operator=(Regex&&) noexcept;

    [[nodiscard]] const std::string& pattern() const noexcept { return pattern_; }
    [[nodiscard]] std::size_t captureCount() const noexcept;
    // The byte every match must start with, when the expression fixes one (lets a caller skip
    // positions that cannot match without calling the engine).
    [[nodiscard]] std::optional<unsigned char> firstByte() const noexcept;

    // Whether the subject is known to be valid UTF-8. Unchecked subjects are validated by every
    // match call, which costs a pass over the rest of the subject: a caller that matches at many
    // positions of one subject validates it once and says so.
    enum class Subject : std::uint8_t { unchecked, validUTF8 };

    // A match that starts exactly at `offset` and may end anywhere (a prefix match of the
    // subject's remainder). `offset` must be at a UTF-8 sequence start. nullopt when there is
    // none; throws RegexError when a limit is hit or an unchecked subject is not valid UTF-8.
    [[nodiscard]] std::optional<Match> matchAt(std::string_view subject, std::size_t offset,
                                               Subject kind = Subject::unchecked) const;
    // The same into `match`, whose storage serves again: a caller that tries many positions
    // keeps one Match and allocates nothing per match. False when there is none (`match` then
    // holds nothing of use).
    bool matchAt(std::string_view subject, std::size_t offset, Match& match,
                 Subject kind = Subject::unchecked) const;
    // The first match starting at or after `offset`.
    [[nodiscard]] std::optional<Match> firstMatch(std::string_view subject, std::size_t offset = 0,
                                                  Subject kind = Subject::unchecked) const;
    // The whole subject must match.
    [[nodiscard]] bool wholeMatch(std::string_view subject) const;

    // UTF-16 code units in subject[0, offset).
    [[nodiscard]] static std::size_t utf16Offset(std::string_view subject, std::size_t offset);

private:
    [[nodiscard]] std::optional<Match> run(std::string_view subject, std::size_t offset,
                                           std::uint32_t flags, bool anchored) const;
    bool run(std::string_view subject, std::size_t offset, std::uint32_t flags, bool anchored,
             Match& match) const;

    struct Compiled;
    std::string pattern_;
    Options options_;
    std::shared_ptr<const Compiled> compiled_;
};

} // namespace platform
