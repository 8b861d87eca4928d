#pragma once

// A view that hands an em-based value, resolved against its text environment, to a content
// function. It is evaluated again whenever the environment (its font above all) changes.

#include "Vellum/text/FontScaled.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"
#include "platform/ui/View.hpp"

#include <functional>
#include <utility>

namespace vellum {

template <FontScalableValue Value>
struct WithFontScaledValue {
    FontScaled<Value> value;
    std::function<platform::ui::AnyView(const Value&)> content;

    WithFontScaledValue(FontScaled<Value> value_,
                        std::function<platform::ui::AnyView(const Value&)> content_)
        : value(std::move(value_))
        , content(std::move(content_)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const {
        return content(value.resolve(TextEnvironmentValues(context.environment())));
    }
};

} // namespace vellum
