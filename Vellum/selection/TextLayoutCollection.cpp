#include "Vellum/selection/TextLayoutCollection.hpp"

#include "platform/foundation/ASCII.hpp"

#include <array>
#include <cstdlib>
#include <stdexcept>

namespace vellum {

std::vector<TextLineStretch> computeLineStretches(const TextLayout& layout) {
    std::vector<TextLineStretch> stretches;
    for (std::size_t n = 0; n < layout.lineCount(); ++n) {
        const TextLine& line = layout.line(n);
        const platform::Rect box = line.typographicBounds();
        for (std::size_t r = 0; r < line.runCount(); ++r) {
            const TextRun& run = line.run(r);
            const platform::Rect glyphs = run.slicesBounds();
            if (glyphs.isNull()) {
                continue;
            }
            const platform::Rect rect(glyphs.minX(), box.minY(), glyphs.width(), box.height());
            if (!stretches.empty() && stretches.back().line == n &&
                stretches.back().direction == run.layoutDirection()) {
                stretches.back().rect = stretches.back().rect.unionWith(rect);
            } else {
                stretches.push_back({n, rect, run.layoutDirection()});
            }
        }
    }
    return stretches;
}

const std::vector<platform::Rect>& TextLayoutCollection::layoutFrames() const {
    if (!layoutFrames_) {
        std::vector<platform::Rect> frames;
        frames.reserve(layoutCount());
        for (std::size_t l = 0; l < layoutCount(); ++l) {
            const TextLayout& text = layout(l);
            const platform::Point o = text.origin();
            frames.push_back(text.lineCount() == 0 || !text.placed()
                                 ? platform::Rect::null()
                                 : text.bounds().offsetBy(o.x, o.y));
        }
        layoutFrames_ = std::move(frames);
    }
    return *layoutFrames_;
}

const TextLayout& EmptyTextLayoutCollection::layout(std::size_t) const {
    throw std::out_of_range("an empty text layout collection has no layouts");
}

EmptyRun EmptyRun::forLine(platform::Rect bounds, EmptyRunSlice slice) {
    return EmptyRun(currentLanguageDirection(), bounds, std::nullopt, slice);
}

LayoutDirection characterDirection(std::string_view languageTag) {
    std::string language;
    for (const char c : languageTag) {
        if (!platform::ascii::isAlpha(c)) {
            break;
        }
        language.push_back(platform::ascii::toLower(c));
    }
    static constexpr std::array<std::string_view, 11> rightToLeft = {
        "ar", "arc", "ckb", "dv", "fa", "he", "iw", "ps", "sd", "ur", "yi"};
    for (const std::string_view rtl : rightToLeft) {
        if (language == rtl) {
            return LayoutDirection::rightToLeft;
        }
    }
    return LayoutDirection::leftToRight;
}

LayoutDirection currentLanguageDirection() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name); // NOLINT(concurrency-mt-unsafe): read only
        if (value != nullptr && *value != '\0') {
            return characterDirection(value);
        }
    }
    return LayoutDirection::leftToRight;
}

} // namespace vellum
