#include "Vellum/text/Resources.hpp"

#include "platform/graphics/ImageSource.hpp"

#include <charconv>
#include <system_error>

namespace vellum {

std::optional<platform::Bundle>
locateResourceBundle(const std::vector<std::optional<std::filesystem::path>>& candidates) {
    for (const std::optional<std::filesystem::path>& candidate : candidates) {
        if (!candidate) {
            continue;
        }
        if (auto bundle = platform::Bundle::at(*candidate / "vellum_Vellum.bundle")) {
            return bundle;
        }
    }
    return std::nullopt;
}

const std::optional<platform::Bundle>& locateResourceBundle() {
    // The library is linked into the program, so the bundle holding its code is the main bundle:
    // the candidates are its resource directory, then its own directory.
    static const std::optional<platform::Bundle> bundle = [] {
        const platform::Bundle& main = platform::Bundle::main();
        return locateResourceBundle({main.resourceURL(), main.bundleURL()});
    }();
    return bundle;
}

platform::Logger makeVellumLogger(std::string category, const platform::UserDefaults& defaults) {
    if (!defaults.boolean(debugLoggingKey)) {
        return platform::Logger::disabled();
    }
    return platform::Logger(std::string(loggingSubsystem), std::move(category));
}

platform::Logger makeVellumLogger(std::string category) {
    return makeVellumLogger(std::move(category), platform::UserDefaults::standard());
}

std::string describeRect(double x, double y, double width, double height) {
    // to_chars, unlike printf, writes the same digits whatever the locale of the program.
    std::string text = "(";
    char buffer[400];
    for (const double value : {x, y, width, height}) {
        const std::to_chars_result written =
            std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
        if (text.size() > 1) {
            text += ", ";
        }
        text.append(buffer, written.ec == std::errc{} ? written.ptr : buffer);
    }
    return text + ")";
}

std::optional<std::vector<std::uint8_t>> encodeCGImageAsPNG(const platform::Image& image) {
    return platform::encodePNG(image);
}

} // namespace vellum
