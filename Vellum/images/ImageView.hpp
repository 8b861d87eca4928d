#pragma once

// Shows an `Image` in the frame its parent gives it, stretched to it or, fitted, as large as fits
// with the picture's shape kept (centred): a still as one picture, an animation frame by frame on
// the display's clock.

#include "Vellum/images/Image.hpp"
#include "platform/ui/UI.hpp"

namespace vellum {

class ImageView {
public:
    explicit ImageView(Image content_, bool fit_ = false)
        : content(std::move(content_))
        , fit(fit_) {}

    Image content;
    bool fit = false;

    [[nodiscard]] platform::ui::AnyView body() const;

    friend bool operator==(const ImageView&, const ImageView&) = default;
};

} // namespace vellum
