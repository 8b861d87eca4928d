#include "Vellum/markdown/NestingLimit.hpp"

#include "platform/foundation/AttributeScope.hpp"

#include <memory>
#include <unordered_map>
#include <utility>

namespace vellum {

using platform::AttributedString;
using platform::PresentationIntent;
using IntentType = PresentationIntent::IntentType;
using Kind = PresentationIntent::Kind;
using IntentAttribute =
    platform::AttributeScopes::FoundationAttributes::PresentationIntentAttribute;

namespace {

// Blocks that hold other blocks as they come: what is cut out between two of them leaves a chain
// the block tree still accepts.
bool holdsOtherBlocks(const IntentType& type) {
    return type.kind() == Kind::listItem || type.kind() == Kind::blockQuote;
}

} // namespace

std::vector<IntentType> limitedComponents(const PresentationIntent& intent) {
    const auto& all = intent.components();
    constexpr std::size_t limit = maximumNestingDepth;
    if (all.size() <= limit) {
        return {};
    }
    std::size_t inner = 0;
    while (inner < all.size() && !holdsOtherBlocks(all[inner])) {
        ++inner;
    }
    // The outer part ends (innermost side) with a block holder, so that the inner part fits it.
    std::size_t outer = inner < limit ? limit - inner : 0;
    while (outer > 0 && !holdsOtherBlocks(all[all.size() - outer])) {
        --outer;
    }
    std::vector<IntentType> kept;
    if (inner == 0 || inner == all.size() || outer == 0) {
        // No holder to cut at: the block holding the characters and the outermost ones.
        kept.reserve(limit);
        kept.push_back(all.front());
        kept.insert(kept.end(), all.end() - (limit - 1), all.end());
        return kept;
    }
    kept.reserve(inner + outer);
    kept.insert(kept.end(), all.begin(), all.begin() + static_cast<std::ptrdiff_t>(inner));
    kept.insert(kept.end(), all.end() - static_cast<std::ptrdiff_t>(outer), all.end());
    return kept;
}

AttributedString withNestingLimited(AttributedString text) {
    using Value = platform::TypedAttributeValue<PresentationIntent>;
    const AttributedString::Runs runs = text.runs();
    const auto tooDeep = [](const AttributedString::Run& run) {
        const PresentationIntent* const intent = run.get<IntentAttribute>();
        return intent != nullptr && intent->components().size() > maximumNestingDepth;
    };
    std::size_t first = 0;
    while (first < runs.size() && !tooDeep(runs[first])) {
        ++first;
    }
    if (first == runs.size()) {
        return text;
    }
    // Written again run by run (an edit per run would coalesce the whole string each time), the
    // runs before the first deep one in one piece. Cut intents by the intent they stand for: a
    // block's runs share one.
    std::unordered_map<const PresentationIntent*, std::shared_ptr<const Value>> cuts;
    const std::string_view characters = text.characters();
    AttributedString result(text[{text.startIndex(), runs[first].range.lowerBound}]);
    result.reserve(characters.size(), runs.size());
    for (std::size_t position = first; position < runs.size(); ++position) {
        const AttributedString::Run run = runs[position];
        const std::string_view piece = characters.substr(
            run.range.lowerBound.offset, run.range.upperBound.offset - run.range.lowerBound.offset);
        if (!tooDeep(run)) {
            result.append(piece, run.attributes);
            continue;
        }
        const PresentationIntent* const intent = run.get<IntentAttribute>();
        auto [cut, made] = cuts.try_emplace(intent);
        if (made) {
            cut->second =
                std::make_shared<const Value>(PresentationIntent(limitedComponents(*intent)));
        }
        platform::AttributeContainer attributes = run.attributes;
        attributes.setShared<IntentAttribute>(cut->second);
        result.append(piece, attributes);
    }
    return result;
}

} // namespace vellum
