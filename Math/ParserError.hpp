#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Math {

// A failure of the LaTeX parser or of the environment table builder: a code and a message.
struct ParserError {
    enum class Code : std::uint8_t {
        mismatchedBraces = 1,
        invalidCommand,
        characterNotFound,
        missingDelimiter,
        invalidDelimiter,
        missingRight,
        missingLeft,
        invalidEnvironment,
        missingEnvironment,
        missingBegin,
        missingEnd,
        invalidNumberOfColumns,
        internalError,
        invalidLimits,
        // Groups, scripts, arguments or environments nested deeper than the parser allows.
        nestingTooDeep,
    };

    Code code;
    std::string message;

    bool operator==(const ParserError&) const = default;

    // "ParserError(mismatchedBraces: Mismatched braces.)": for logs and test output.
    std::string description() const;
};

// The case name of a code ("mismatchedBraces" ...).
std::string_view name(ParserError::Code code);

} // namespace Math
