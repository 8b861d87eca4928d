#include "Vellum/markdown/CharacterStarts.hpp"

#include "platform/foundation/Unicode.hpp"

#include <algorithm>

namespace vellum {

namespace {

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The scalar that ends just before `end` in valid UTF-8.
char32_t scalarBefore(std::string_view text, std::size_t end) {
    std::size_t start = end - 1;
    while (start > 0 && isContinuation(static_cast<unsigned char>(text[start]))) {
        --start;
    }
    const auto lead = static_cast<unsigned char>(text[start]);
    char32_t scalar = lead >= 0xF0 ? lead & 0x07u : lead >= 0xE0 ? lead & 0x0Fu : lead & 0x1Fu;
    for (std::size_t i = start + 1; i < end; ++i) {
        scalar = (scalar << 6) | (static_cast<unsigned char>(text[i]) & 0x3Fu);
    }
    return scalar;
}

} // namespace

CharacterStarts::CharacterStarts(std::string_view text)
    : text_(text) {}

std::optional<bool> CharacterStarts::settled(std::size_t at) const noexcept {
    if (at == 0 || at >= text_.size()) {
        return true;
    }
    const auto byte = static_cast<unsigned char>(text_[at]);
    if (byte >= 0x80) {
        // Clusters hold whole scalars; which scalars join a cluster takes the full rules.
        return isContinuation(byte) ? std::optional<bool>(false) : std::nullopt;
    }
    // No ASCII character extends a cluster, joins a pictograph or pairs as a flag or a Hangul
    // syllable: only the character before it can hold it, by the two rules below.
    const auto before = static_cast<unsigned char>(text_[at - 1]);
    if (before == '\r') {
        return byte != '\n';
    }
    if (before < 0x80) {
        return true;
    }
    const bool control = byte < 0x20 || byte == 0x7F;
    return control || !platform::unicode::isGraphemePrepend(scalarBefore(text_, at));
}

const std::vector<std::size_t>& CharacterStarts::all() {
    if (!split_) {
        split_ = true;
        const std::vector<std::string_view> clusters = platform::unicode::graphemeClusters(text_);
        starts_.reserve(clusters.size() + 1);
        for (const std::string_view cluster : clusters) {
            starts_.push_back(static_cast<std::size_t>(cluster.data() - text_.data()));
        }
        starts_.push_back(text_.size());
    }
    return starts_;
}

bool CharacterStarts::startsAt(std::size_t at) {
    if (!split_) {
        if (const std::optional<bool> answer = settled(at)) {
            return *answer;
        }
    }
    return std::binary_search(all().begin(), all().end(), at);
}

std::size_t CharacterStarts::after(std::size_t from) {
    if (!split_) {
        for (std::size_t at = from + 1; at <= text_.size(); ++at) {
            const std::optional<bool> answer = settled(at);
            if (!answer) {
                break;
            }
            if (*answer) {
                return at;
            }
        }
    }
    // Callers mostly walk forward: the search goes on from where the last one ended.
    const std::vector<std::size_t>& starts = all();
    if (hint_ > 0 && starts[hint_ - 1] > from) {
        hint_ = static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), from) -
                                         starts.begin());
    }
    while (hint_ < starts.size() && starts[hint_] <= from) {
        ++hint_;
    }
    return hint_ < starts.size() ? starts[hint_] : text_.size();
}

} // namespace vellum
