#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace platform {

// Base of every error this code base throws on purpose. `what()` returns the same text as
// `localizedDescription()` so that errors caught as plain std::exception still read well.
class Error : public std::exception {
public:
    Error() = default;
    Error(const Error&) = default;
    Error& operator=(const Error&) = default;
    ~Error() override = default;

    // The text shown to a person.
    [[nodiscard]] virtual std::string localizedDescription() const = 0;

    [[nodiscard]] const char* what() const noexcept override;

private:
    mutable std::string whatText_;
};

// The text shown for an error enumeration that carries no message of its own: it names the
// error's qualified type and the case's ordinal, e.g.
// "The operation couldn’t be completed. (Mossbarrow.APIClientError error 0.)".
[[nodiscard]] std::string genericErrorDescription(std::string_view qualifiedTypeName,
                                                  std::int64_t caseOrdinal);

// The description of any caught error: our own errors give their localized description, the
// runtime's CancellationError the platform's cancellation text, any other std::exception its
// what(), and anything else a generic text. An empty pointer gives an empty text.
[[nodiscard]] std::string localizedDescription(const std::exception_ptr& error);

} // namespace platform
