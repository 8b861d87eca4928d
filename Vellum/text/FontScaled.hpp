#pragma once

// A length in units of the current font's point size (1.0 is one em), turned into points only when
// it is laid out, against the text environment of the view that lays it out.

#include "Vellum/text/FontScalable.hpp"
#include "Vellum/text/TextEnvironmentValuesHashing.hpp"
#include "platform/foundation/JSONDecoder.hpp"
#include "platform/foundation/JSONEncoder.hpp"

#include <cstddef>
#include <functional>
#include <optional>
#include <utility>

namespace vellum {

struct TextEnvironmentValues;

// The point size of the environment's font (the body font when it has none), or nothing when the
// font cannot be analysed.
[[nodiscard]] std::optional<double> resolvedPointSize(const TextEnvironmentValues& environment);

template <class Value>
struct FontScaled {
    Value value{};

    FontScaled() = default;
    explicit FontScaled(Value v)
        : value(std::move(v)) {}

    static FontScaled fontScaled(Value v) { return FontScaled(std::move(v)); }
    static FontScaled fontScaled(double width,
                                 double height) requires std::same_as<Value, platform::Size> {
        return FontScaled(platform::Size{width, height});
    }
    static FontScaled
    fontScaled(double top, double leading, double bottom,
               double trailing) requires std::same_as<Value, platform::EdgeInsets> {
        return FontScaled(platform::EdgeInsets{top, leading, bottom, trailing});
    }

    // The value in points: multiplied by the point size of the environment's font. A font whose
    // size cannot be told leaves the value at its raw magnitude, read as points.
    [[nodiscard]] Value
    resolve(const TextEnvironmentValues& environment) const requires FontScalableValue<Value> {
        if (const std::optional<double> pointSize = resolvedPointSize(environment)) {
            return scaled(value, *pointSize);
        }
        return value;
    }

    friend bool operator==(const FontScaled&, const FontScaled&) = default;

    // The coded form is an object with the single member "value".
    static FontScaled decode(const platform::JSONDecodingContainer& container) {
        return FontScaled(container.decode<Value>("value"));
    }
    void encode(platform::JSONEncodingContainer& container) const {
        container.encode("value", value);
    }
};

} // namespace vellum

template <class Value>
struct std::hash<vellum::FontScaled<Value>> {
    std::size_t operator()(const vellum::FontScaled<Value>& scaled) const noexcept {
        std::size_t seed = 0;
        vellum::detail::hashValue(seed, scaled.value);
        return seed;
    }
};
