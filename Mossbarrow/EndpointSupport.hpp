#pragma once

// Helpers shared by the endpoint families; not part of the library's interface.

#include "platform/foundation/URL.hpp"

#include <string>
#include <string_view>

namespace mossbarrow::detail {

// Visitor built from lambdas, for the families' cases.
template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

// A root address constant as a URL. A constant that does not parse is a build mistake, so the
// program stops rather than sending requests nowhere.
platform::URL baseURLFromConstant(std::string_view text);

// A path segment taken from data, encoded with the path-allowed set ("/" stays, so a name such as
// team/weather spans two segments); text that cannot be encoded is used as it is.
std::string encodedPathSegment(std::string_view text);

} // namespace mossbarrow::detail
