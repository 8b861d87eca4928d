#include "Math/ParserError.hpp"

namespace Math {

std::string_view name(ParserError::Code code) {
    using Code = ParserError::Code;
    switch (code) {
    case Code::mismatchedBraces:
        return "mismatchedBraces";
    case Code::invalidCommand:
        return "invalidCommand";
    case Code::characterNotFound:
        return "characterNotFound";
    case Code::missingDelimiter:
        return "missingDelimiter";
    case Code::invalidDelimiter:
        return "invalidDelimiter";
    case Code::missingRight:
        return "missingRight";
    case Code::missingLeft:
        return "missingLeft";
    case Code::invalidEnvironment:
        return "invalidEnvironment";
    case Code::missingEnvironment:
        return "missingEnvironment";
    case Code::missingBegin:
        return "missingBegin";
    case Code::missingEnd:
        return "missingEnd";
    case Code::invalidNumberOfColumns:
        return "invalidNumberOfColumns";
    case Code::internalError:
        return "internalError";
    case Code::invalidLimits:
        return "invalidLimits";
    case Code::nestingTooDeep:
        return "nestingTooDeep";
    }
    return "";
}

std::string ParserError::localizedDescription() const {
    return platform::genericErrorDescription("Math.ParserError", 1);
}

std::string ParserError::description() const {
    return "ParserError(" + std::string(name(code)) + ": " + message + ")";
}

} // namespace Math
