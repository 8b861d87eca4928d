#pragma once

#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>

namespace platform {

// Base of every error this code base throws on purpose. `what()` returns the same text as
// `localizedDescription()` so that errors caught as plain std::exception still read well.
class Error : public std::exception {
public:
    Error() = default;
    // A copy works out its own what() text when first asked.
    Error(const Error& /*other*/) noexcept
        : std::exception() {}
    Error& operator=(const Error& /*other*/) noexcept { return *this; }
    ~Error() override = default;

    // The text shown to a person.
    [[nodiscard]] virtual std::string localizedDescription() const = 0;

    // Safe to call from several threads at once (an exception_ptr may be rethrown on many).
    [[nodiscard]] const char* what() const noexcept override;

private:
    mutable std::once_flag whatOnce_;
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
