#pragma once

#include "platform/graphics/Color.hpp"

#include <optional>
#include <string_view>

namespace Math {

/// The colour of "#RRGGBB": the hexadecimal digits after the leading "#" are read as one number
/// of which the low 24 bits are red, green and blue ("#abc" is 0x000abc; longer numbers keep
/// their last six digits). Nothing without the "#" or without a digit after it.
std::optional<platform::Color> colorFromHexString(std::string_view text);

} // namespace Math
