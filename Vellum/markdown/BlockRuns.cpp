#include "Vellum/markdown/BlockRuns.hpp"

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
    const std::optional<IntentType>* previous = nullptr;
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        const AttributedString::Run run = runs_[i];
        std::optional<IntentType> block;
        if (const auto* intent = run.get<Foundation::PresentationIntentAttribute>()) {
            const auto& components = intent->components();
            if (!parent) {
                if (!components.empty()) {
                    block = components.back();
                }
            } else if (const auto k = firstIndexOfIntentType(*parent, components); k && *k > 0) {
                block = components[*k - 1];
            }
        }
        if (previous == nullptr || block != *previous) {
            boundaries_.push_back(Boundary{i, std::move(block)});
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
