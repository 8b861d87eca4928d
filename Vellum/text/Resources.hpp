#pragma once

// The library's resource bundle, logger and small formatting helpers.

#include "platform/foundation/Bundle.hpp"
#include "platform/foundation/Logger.hpp"
#include "platform/foundation/UserDefaults.hpp"
#include "platform/graphics/Image.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellum {

// The subsystem the library logs under, and the user-defaults key that switches its debug
// logging on.
inline constexpr std::string_view loggingSubsystem = "org.mossbarrow.Vellum";
inline constexpr std::string_view debugLoggingKey = "org.mossbarrow.Vellum.debug";

// "vellum_Vellum.bundle" in the main bundle's resource directory, else beside the executable;
// looked up once per process. nullopt when neither exists: resources are then unavailable.
[[nodiscard]] const std::optional<platform::Bundle>& locateResourceBundle();
// The same search over given candidate directories, in order.
[[nodiscard]] std::optional<platform::Bundle>
locateResourceBundle(const std::vector<std::optional<std::filesystem::path>>& candidates);

// A logger for `category` when the debug-logging default is set, else a disabled one; the default
// is read each time a logger is made.
[[nodiscard]] platform::Logger makeVellumLogger(std::string category);
[[nodiscard]] platform::Logger makeVellumLogger(std::string category,
                                                const platform::UserDefaults& defaults);

// "(x, y, width, height)" with one decimal each.
[[nodiscard]] std::string describeRect(double x, double y, double width, double height);

// The image as PNG bytes; nullopt when it cannot be encoded.
[[nodiscard]] std::optional<std::vector<std::uint8_t>>
encodeCGImageAsPNG(const platform::Image& image);

} // namespace vellum
