#pragma once

#include "platform/foundation/Error.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace Math {

// A failure of the LaTeX parser or of the environment table builder: a code and a message. It is
// kept as a value by the parser, never thrown.
struct ParserError : platform::Error {
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

    ParserError(Code code, std::string message)
        : code(code)
        , message(std::move(message)) {}

    Code code;
    std::string message;

    bool operator==(const ParserError& other) const {
        return code == other.code && message == other.message;
    }

    // The platform's generic text for an error value without a text of its own.
    std::string localizedDescription() const override;

    // "ParserError(mismatchedBraces: Mismatched braces.)": for logs and test output.
    std::string description() const;
};

// The case name of a code ("mismatchedBraces" ...).
std::string_view name(ParserError::Code code);

} // namespace Math
