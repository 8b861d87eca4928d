#define PCRE2_CODE_UNIT_WIDTH 8
#include "platform/foundation/Regex.hpp"

#include <pcre2.h>

namespace platform {

namespace {

std::string errorText(int code) {
    PCRE2_UCHAR buffer[256];
    const int length = pcre2_get_error_message(code, buffer, sizeof buffer);
    if (length < 0) {
        return "regular expression error " + std::to_string(code);
    }
    return std::string(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
}

} // namespace

// The compiled code is immutable once made and shared by copies; each match call makes its own
// match data, so one Regex may be used from several threads.
//
// The pattern is compiled twice, as written and anchored: the JIT runs only patterns anchored at
// compile time, and matching at a position is the common case. The anchored form goes without the
// engine's start-up checks: they look ahead through the rest of the subject for a character the
// match needs, which, repeated at every position of a long subject, costs its length squared.
struct Regex::Compiled {
    pcre2_code* code = nullptr;
    pcre2_code* anchored = nullptr;
    pcre2_match_context* context = nullptr;
    /// The byte every match starts with, where there is one (asked of every position a caller
    /// tries, so read from the pattern once), and the groups, asked at every match.
    std::optional<unsigned char> firstByte;
    std::size_t captureCount = 0;
    /// The bytes every match starts with as the pattern spells them out (see literalPrefixOf):
    /// a position that lacks them is refused without the engine, whose set-up for one anchored
    /// attempt costs several hundred instructions, more than most attempts that fail.
    std::string literalPrefix;
    /// Whether the JIT compiled the anchored form: subjects known to be valid then go to the
    /// JIT's own entry, without the checks of the general one.
    bool anchoredJIT = false;

    Compiled() = default;
    Compiled(const Compiled&) = delete;
    Compiled& operator=(const Compiled&) = delete;
    ~Compiled() {
        pcre2_match_context_free(context);
        pcre2_code_free(anchored);
        pcre2_code_free(code);
    }
};

namespace {

// Lazy repetition keeps one JIT stack entry per character it steps over, so a long subject needs
// more than the engine's small default stack. Each thread gets its own, grown on demand up to
// the maximum (a JIT stack must not be used by two matches at once).
constexpr std::size_t jitStackStart = 32 * 1024;
constexpr std::size_t jitStackMaximum = 64 * 1024 * 1024;

pcre2_jit_stack* threadJITStack(void* /*data*/) {
    struct Stack {
        pcre2_jit_stack* stack = pcre2_jit_stack_create(jitStackStart, jitStackMaximum, nullptr);
        Stack() = default;
        Stack(const Stack&) = delete;
        Stack& operator=(const Stack&) = delete;
        ~Stack() { pcre2_jit_stack_free(stack); }
    };
    thread_local const Stack stack;
    return stack.stack;
}

/// The bytes every match of `pattern` must start with, read from its text: the literal
/// characters it opens with (after flags that leave them as they are) up to the first one that
/// is not a plain, unrepeated printable ASCII character. Empty when unsure: for any alternation,
/// and for letters when case does not count.
std::string literalPrefixOf(std::string_view pattern, bool caseInsensitive) {
    if (pattern.find('|') != std::string_view::npos) {
        return {};
    }
    std::size_t at = 0;
    // Leading flags that change nothing a literal matches: dot-all and multi-line.
    if (pattern.starts_with("(?")) {
        const std::size_t close = pattern.find(')');
        const std::string_view flags =
            close == std::string_view::npos ? std::string_view() : pattern.substr(2, close - 2);
        if (flags.empty() || flags.find_first_not_of("sm") != std::string_view::npos) {
            return {};
        }
        at = close + 1;
    }
    const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    const auto isLetterOrDigit = [&](char c) { return isLetter(c) || (c >= '0' && c <= '9'); };
    std::string prefix;
    while (at < pattern.size()) {
        char literal = pattern[at];
        std::size_t next = at + 1;
        if (literal == '\\') {
            // An escaped punctuation character stands for itself; other escapes are classes,
            // anchors or quoting.
            if (next >= pattern.size() || isLetterOrDigit(pattern[next]) || pattern[next] < 0x20 ||
                pattern[next] > 0x7E) {
                break;
            }
            literal = pattern[next];
            next += 1;
        } else if (literal < 0x20 || literal > 0x7E ||
                   std::string_view("^$.[]()?*+{}").find(literal) != std::string_view::npos) {
            break;
        }
        if (caseInsensitive && isLetter(literal)) {
            break;
        }
        // A repeated character may be missing. Comments and empty quoting stand between a
        // character and its quantifier without a trace ("a(?#c)?" is "a?"): the character before
        // one is not counted either.
        const std::string_view after = pattern.substr(next);
        if ((!after.empty() &&
             std::string_view("?*+{").find(after.front()) != std::string_view::npos) ||
            after.starts_with("(?#") || after.starts_with("\\Q") || after.starts_with("\\E")) {
            break;
        }
        prefix += literal;
        at = next;
    }
    return prefix;
}

/// The byte every match of `code` starts with, where there is one.
std::optional<unsigned char> firstByteOf(const pcre2_code* code) noexcept {
    std::uint32_t type = 0;
    if (pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODETYPE, &type) != 0 || type != 1) {
        return std::nullopt;
    }
    std::uint32_t unit = 0;
    pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODEUNIT, &unit);
    // A caseless letter may also start with its other case; only an exact byte is useful.
    std::uint32_t flags = 0;
    pcre2_pattern_info(code, PCRE2_INFO_ALLOPTIONS, &flags);
    if ((flags & PCRE2_CASELESS) != 0 && unit < 0x80 &&
        ((unit >= 'a' && unit <= 'z') || (unit >= 'A' && unit <= 'Z'))) {
        return std::nullopt;
    }
    return static_cast<unsigned char>(unit);
}

} // namespace

Regex::Regex(std::string_view pattern)
    : Regex(pattern, Options{}) {}

Regex::Regex(std::string_view pattern, const Options& options)
    : pattern_(pattern)
    , options_(options) {
    auto compiled = std::make_shared<Compiled>();
    std::uint32_t flags = PCRE2_UTF | PCRE2_UCP;
    if (options.caseInsensitive) {
        flags |= PCRE2_CASELESS;
    }
    if (options.dotMatchesNewlines) {
        flags |= PCRE2_DOTALL;
    }
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    compiled->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern_.data()), pattern_.size(),
                                   flags, &errorCode, &errorOffset, nullptr);
    if (compiled->code == nullptr) {
        throw RegexError("Invalid regular expression at offset " + std::to_string(errorOffset) +
                         ": " + errorText(errorCode));
    }
    compiled->anchored = pcre2_compile(
        reinterpret_cast<PCRE2_SPTR>(pattern_.data()), pattern_.size(),
        flags | PCRE2_ANCHORED | PCRE2_NO_START_OPTIMIZE, &errorCode, &errorOffset, nullptr);
    compiled->context = pcre2_match_context_create(nullptr);
    if (compiled->anchored == nullptr || compiled->context == nullptr) {
        throw RegexError("Out of memory for a regular expression.");
    }
    pcre2_set_match_limit(compiled->context, options.matchLimit);
    pcre2_set_depth_limit(compiled->context, options.depthLimit);
    pcre2_set_heap_limit(compiled->context, options.heapLimit);
    pcre2_jit_stack_assign(compiled->context, threadJITStack, nullptr);
    // The JIT is only a speed-up: where it is unavailable the interpreter runs the same pattern.
    pcre2_jit_compile(compiled->code, PCRE2_JIT_COMPLETE);
    pcre2_jit_compile(compiled->anchored, PCRE2_JIT_COMPLETE);
    compiled->firstByte = firstByteOf(compiled->code);
    std::uint32_t captures = 0;
    pcre2_pattern_info(compiled->code, PCRE2_INFO_CAPTURECOUNT, &captures);
    compiled->captureCount = captures;
    compiled->literalPrefix = literalPrefixOf(pattern_, options.caseInsensitive);
    std::size_t jitSize = 0;
    compiled->anchoredJIT =
        pcre2_pattern_info(compiled->anchored, PCRE2_INFO_JITSIZE, &jitSize) == 0 && jitSize > 0;
    compiled_ = std::move(compiled);
}

Regex::~Regex() = default;
Regex::Regex(const Regex& other) = default;
Regex& Regex::operator=(const Regex& other) = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

std::size_t Regex::captureCount() const noexcept {
    return compiled_->captureCount;
}

std::optional<unsigned char> Regex::firstByte() const noexcept {
    return compiled_->firstByte;
}

std::optional<Regex::Match> Regex::run(std::string_view subject, std::size_t offset,
                                       std::uint32_t flags, bool anchored) const {
    Match match;
    if (!run(subject, offset, flags, anchored, match)) {
        return std::nullopt;
    }
    return match;
}

bool Regex::run(std::string_view subject, std::size_t offset, std::uint32_t flags, bool anchored,
                Match& match) const {
    pcre2_code* const code = anchored ? compiled_->anchored : compiled_->code;
    if (offset > subject.size()) {
        return false;
    }
    // A subject known to be valid has nothing the engine would report but a match or none: one
    // that lacks the pattern's opening characters has none.
    const bool validSubject = (flags & PCRE2_NO_UTF_CHECK) != 0;
    if (anchored && validSubject && !subject.substr(offset).starts_with(compiled_->literalPrefix)) {
        return false;
    }
    // The engine takes no null subject, an empty view's data.
    const auto* const bytes =
        reinterpret_cast<PCRE2_SPTR>(subject.data() != nullptr ? subject.data() : "");
    struct MatchDataDeleter {
        void operator()(pcre2_match_data* data) const noexcept { pcre2_match_data_free(data); }
    };
    using MatchData = std::unique_ptr<pcre2_match_data, MatchDataDeleter>;
    // One match data per thread serves every pattern with few groups: matching at many positions
    // would otherwise allocate at each. The results are copied out before the next use.
    constexpr std::uint32_t sharedPairs = 16;
    thread_local const MatchData shared{pcre2_match_data_create(sharedPairs, nullptr)};
    MatchData own;
    pcre2_match_data* data = shared.get();
    const std::size_t groups = compiled_->captureCount + 1;
    if (data == nullptr || groups > sharedPairs) {
        own.reset(pcre2_match_data_create_from_pattern(code, nullptr));
        data = own.get();
    }
    if (data == nullptr) {
        throw RegexError("Out of memory for a regular expression match.");
    }
    const int result =
        anchored && flags == PCRE2_NO_UTF_CHECK && compiled_->anchoredJIT
            ? pcre2_jit_match(code, bytes, subject.size(), offset, flags, data, compiled_->context)
            : pcre2_match(code, bytes, subject.size(), offset, flags, data, compiled_->context);
    if (result == PCRE2_ERROR_NOMATCH) {
        return false;
    }
    if (result < 0) {
        throw RegexError("Regular expression evaluation failed: " + errorText(result));
    }
    const PCRE2_SIZE* const vector = pcre2_get_ovector_pointer(data);
    match.groups.resize(groups);
    for (std::size_t i = 0; i < groups; ++i) {
        const PCRE2_SIZE begin = vector[2 * i];
        const PCRE2_SIZE end = vector[2 * i + 1];
        if (i >= static_cast<std::size_t>(result) || begin == PCRE2_UNSET) {
            match.groups[i] = std::nullopt;
        } else {
            match.groups[i] = Group{begin, end};
        }
    }
    return true;
}

std::optional<Regex::Match> Regex::matchAt(std::string_view subject, std::size_t offset,
                                           Subject kind) const {
    return run(subject, offset, kind == Subject::validUTF8 ? PCRE2_NO_UTF_CHECK : 0U, true);
}

bool Regex::matchAt(std::string_view subject, std::size_t offset, Match& match,
                    Subject kind) const {
    return run(subject, offset, kind == Subject::validUTF8 ? PCRE2_NO_UTF_CHECK : 0U, true, match);
}

std::optional<Regex::Match> Regex::firstMatch(std::string_view subject, std::size_t offset,
                                              Subject kind) const {
    return run(subject, offset, kind == Subject::validUTF8 ? PCRE2_NO_UTF_CHECK : 0U, false);
}

bool Regex::wholeMatch(std::string_view subject) const {
    return run(subject, 0, PCRE2_ENDANCHORED, true).has_value();
}

std::optional<std::string_view> Regex::Match::group(std::size_t index,
                                                    std::string_view subject) const {
    if (index >= groups.size() || !groups[index]) {
        return std::nullopt;
    }
    return subject.substr(groups[index]->begin, groups[index]->end - groups[index]->begin);
}

std::size_t Regex::utf16Offset(std::string_view subject, std::size_t offset) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < offset && i < subject.size(); ++i) {
        const auto byte = static_cast<unsigned char>(subject[i]);
        if ((byte & 0xC0) != 0x80) {
            units += byte >= 0xF0 ? 2 : 1;
        }
    }
    return units;
}

} // namespace platform
