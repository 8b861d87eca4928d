#include "Vellum/markdown/BlockRuns.hpp"

#include <algorithm>
#include <array>

namespace vellum {

using platform::AttributedString;
using Foundation = platform::AttributeScopes::FoundationAttributes;

std::optional<std::size_t> firstIndexOfIntentType(const BlockRuns::IntentType& type,
                                                  const std::vector<BlockRuns::IntentType>& types) {
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (types[i] == type) {
            return i;
        }
    }
    return std::nullopt;
}

BlockRuns::BlockRuns(const AttributedString& content, const std::optional<IntentType>& parent)
    : runs_(content.runs()) {
    computeBoundaries(parent);
}

BlockRuns::BlockRuns(const platform::AttributedSubstring& content,
                     const std::optional<IntentType>& parent)
    : runs_(content.runs()) {
    computeBoundaries(parent);
}

void BlockRuns::computeBoundaries(const std::optional<IntentType>& parent) {
    // A block's runs take turns among a few attribute containers (plain, emphasised, code...),
    // each shared by all its runs: the block of a container already seen is not looked up again.
    struct Seen {
        platform::AttributeContainer attributes;
        std::optional<IntentType> block;
    };
    constexpr std::size_t remembered = 4;
    std::array<Seen, remembered> seen;
    std::size_t seenCount = 0;
    std::size_t nextSeen = 0;
    const std::optional<IntentType>* previous = nullptr;
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        const AttributedString::Run run = runs_[i];
        const std::optional<IntentType>* block = nullptr;
        for (std::size_t k = 0; k < seenCount && block == nullptr; ++k) {
            if (seen[k].attributes.sharesStorage(run.attributes)) {
                block = &seen[k].block;
            }
        }
        if (block == nullptr) {
            Seen& slot = seen[nextSeen];
            slot.attributes = run.attributes;
            slot.block = std::nullopt;
            if (const auto* intent = run.get<Foundation::PresentationIntentAttribute>()) {
                const auto& components = intent->components();
                if (!parent) {
                    if (!components.empty()) {
                        slot.block = components.back();
                    }
                } else if (const auto k = firstIndexOfIntentType(*parent, components);
                           k && *k > 0) {
                    slot.block = components[*k - 1];
                }
            }
            block = &slot.block;
            nextSeen = (nextSeen + 1) % remembered;
            seenCount = std::min(seenCount + 1, remembered);
        }
        if (previous == nullptr || *block != *previous) {
            boundaries_.push_back(Boundary{i, *block});
            previous = &boundaries_.back().intent;
        }
    }
}

std::optional<std::size_t> BlockRuns::index(std::size_t position, std::ptrdiff_t distance,
                                            std::size_t limit) {
    const auto target = static_cast<std::ptrdiff_t>(position) + distance;
    const auto bound = static_cast<std::ptrdiff_t>(limit);
    const auto from = static_cast<std::ptrdiff_t>(position);
    if ((distance >= 0 && from <= bound && target > bound) ||
        (distance < 0 && from >= bound && target < bound) || target < 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(target);
}

BlockRuns::BlockRun BlockRuns::operator[](std::size_t position) const {
    const Boundary& boundary = boundaries_[position];
    const std::size_t lastRun =
        position + 1 < boundaries_.size() ? boundaries_[position + 1].run - 1 : runs_.size() - 1;
    return BlockRun{boundary.intent,
                    {runs_[boundary.run].range.lowerBound, runs_[lastRun].range.upperBound}};
}

std::vector<BlockRuns::BlockRun> BlockRuns::elements() const {
    std::vector<BlockRun> result;
    result.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) {
        result.push_back((*this)[i]);
    }
    return result;
}

std::pair<platform::ReferenceAttributedString,
          std::unordered_map<const AttributedString*, std::size_t>>
joinAttributedStrings(const std::vector<platform::ReferenceAttributedString>& strings) {
    if (strings.empty()) {
        auto empty = platform::makeReference(AttributedString());
        return {empty, {{empty.get(), 0}}};
    }
    if (strings.size() == 1) {
        return {strings.front(), {{strings.front().get(), 0}}};
    }
    AttributedString joined;
    std::unordered_map<const AttributedString*, std::size_t> offsets;
    offsets.reserve(strings.size());
    std::size_t offset = 0;
    for (const platform::ReferenceAttributedString& string : strings) {
        joined.append(*string);
        offsets.insert_or_assign(string.get(), offset);
        offset += string->utf16Length();
    }
    return {platform::makeReference(std::move(joined)), std::move(offsets)};
}

} // namespace vellum
