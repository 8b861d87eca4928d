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

// A root address as a URL. The address in effect is a configured constant or an environment
// value already checked, so one that does not parse is a build mistake, and the program stops
// rather than sending requests nowhere.
platform::URL baseURLFromConstant(std::string_view text);

// A path segment taken from data, encoded as exactly one segment: "/" is encoded too, so that a
// name such as io.github.owner/name stays one segment, which is how the registries look names
// up. Text that cannot be encoded (not UTF-8) is used as it is.
std::string encodedPathSegment(std::string_view text);

} // namespace mossbarrow::detail
