#include "platform/foundation/Error.hpp"

#include <cstring>
#include <fmt/format.h>

namespace platform {

const char* Error::what() const noexcept {
    try {
        std::call_once(whatOnce_, [this] { whatText_ = localizedDescription(); });
        return whatText_.c_str();
    } catch (...) {
        return "platform::Error";
    }
}

std::string genericErrorDescription(std::string_view qualifiedTypeName, std::int64_t caseOrdinal) {
    return fmt::format("The operation couldn\u2019t be completed. ({} error {}.)",
                       qualifiedTypeName, caseOrdinal);
}

namespace {

// The runtime's cancellation error is recognised by its text so that this layer needs no
// dependency on the runtime; its description is that of an error enumeration without text.
constexpr std::string_view cancellationWhat = "CancellationError()";

} // namespace

std::string localizedDescription(const std::exception_ptr& error) {
    if (!error) {
        return {};
    }
    try {
        std::rethrow_exception(error);
    } catch (const Error& e) {
        return e.localizedDescription();
    } catch (const std::exception& e) {
        const char* text = e.what();
        if (text != nullptr && std::string_view(text) == cancellationWhat) {
            return genericErrorDescription("Swift.CancellationError", 1);
        }
        return text != nullptr ? std::string(text) : std::string();
    } catch (...) {
        return "The operation couldn\u2019t be completed.";
    }
}

} // namespace platform
