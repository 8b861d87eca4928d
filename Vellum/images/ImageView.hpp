#pragma once

// Shows an `Image` stretched to the frame its parent gives it: a still as one picture, an
// animation frame by frame on the display's clock.

#include "Vellum/images/Image.hpp"
#include "platform/ui/UI.hpp"

namespace vellum {

class ImageView {
public:
    explicit ImageView(Image content_)
        : content(std::move(content_)) {}

    Image content;

    [[nodiscard]] platform::ui::AnyView body() const;

    friend bool operator==(const ImageView&, const ImageView&) = default;
};

} // namespace vellum
