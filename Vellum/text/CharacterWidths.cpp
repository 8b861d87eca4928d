#include "Vellum/text/CharacterWidths.hpp"

#include "platform/text/StyledText.hpp"
#include "platform/text/TextLayout.hpp"

#include <algorithm>

namespace vellum {

namespace {

// The bytes of the character that starts at `at` (a lead byte and its continuation bytes).
std::size_t characterLength(std::string_view text, std::size_t at) {
    std::size_t end = at + 1;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0U) == 0x80U) {
        ++end;
    }
    return end - at;
}

bool isBreak(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

double CharacterWidths::character(std::string_view character) {
    const auto lead = static_cast<unsigned char>(character.front());
    if (lead < ascii_.size() && ascii_[lead] >= 0) {
        return ascii_[lead];
    }
    if (lead >= ascii_.size()) {
        if (const auto found = others_.find(std::string(character)); found != others_.end()) {
            return found->second;
        }
    }
    platform::TextAttributes attributes;
    attributes.font = font_;
    const double width =
        platform::TextLayout(platform::StyledText(character, std::move(attributes))).size().width;
    if (lead < ascii_.size()) {
        ascii_[lead] = width;
    } else {
        others_.emplace(std::string(character), width);
    }
    return width;
}

double CharacterWidths::width(std::string_view text) {
    double width = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = characterLength(text, at);
        width += character(text.substr(at, length));
        at += length;
    }
    return width;
}

CharacterWidths::Measure CharacterWidths::measure(std::string_view text) {
    Measure measure;
    double word = 0;
    extend(text, measure, word);
    return measure;
}

void CharacterWidths::extend(std::string_view text, Measure& measure, double& word) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = characterLength(text, at);
        const double advance = character(text.substr(at, length));
        measure.width += advance;
        if (isBreak(text[at])) {
            word = 0;
        } else {
            word += advance;
            measure.widestWord = std::max(measure.widestWord, word);
        }
        at += length;
    }
}

} // namespace vellum
