#include "Vellum/selection/TextSelectionModel.hpp"

#include "Vellum/selection/TextHitTesting.hpp"
#include "Vellum/selection/TextSelectionRect.hpp"

#include <algorithm>

namespace vellum {

const std::optional<TextRange>& TextSelectionModel::selectedRange() const {
    registrar_.access(Property::selectedRange);
    return selectedRange_;
}

void TextSelectionModel::setSelectedRange(std::optional<TextRange> range) {
    const auto assign = [&] {
        if (selectionWillChange) {
            selectionWillChange();
        }
        selectedRange_ = std::move(range);
        // The coordinator clears the others even when this range was already held: a model that
        // took the selection meanwhile must give it up again.
        if (selectedRange().has_value()) {
            if (const auto coordinator = coordinator_.lock()) {
                coordinator->coordinateSelection(*this);
            }
        }
        if (selectionDidChange) {
            selectionDidChange();
        }
    };
    if (selectedRange_ == range) {
        assign();
    } else {
        const std::optional<TextRange> old = selectedRange_;
        const std::optional<TextRange> now = range;
        withShareMutations(old, now,
                           [&] { registrar_.withMutation(Property::selectedRange, assign); });
    }
}

template <class F>
void TextSelectionModel::withShareMutations(const std::optional<TextRange>& old,
                                            const std::optional<TextRange>& now, F&& change) {
    // A text strictly inside both ranges is selected whole before and after, one outside both is
    // not selected at all: only the texts between the two starts and between the two ends may
    // change their share.
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    const auto span = [](const TextRange& r) {
        return std::pair(r.start.indexPath.layout, r.end.indexPath.layout);
    };
    if (old && now) {
        const auto [a1, b1] = span(*old);
        const auto [a2, b2] = span(*now);
        spans.emplace_back(std::min(a1, a2), std::max(a1, a2));
        spans.emplace_back(std::min(b1, b2), std::max(b1, b2));
    } else if (old || now) {
        spans.push_back(span(old ? *old : *now));
    }
    std::vector<platform::PropertyID> told;
    for (const auto& [first, last] : spans) {
        appendShareKeys(layoutCollection_, first, last, told);
    }
    for (const platform::PropertyID key : told) {
        registrar_.willSet(key);
    }
    std::forward<F>(change)();
    for (const platform::PropertyID key : told) {
        registrar_.didSet(key);
    }
}

void TextSelectionModel::appendShareKeys(const TextLayoutCollection& collection, std::size_t first,
                                         std::size_t last,
                                         std::vector<platform::PropertyID>& keys) {
    const std::size_t count = collection.layoutCount();
    for (std::size_t l = first; l <= last && l < count; ++l) {
        // A text not named so is never observed by its share (its highlight watches the
        // collection).
        if (const void* identity = collection.layoutIdentity(l)) {
            keys.push_back(shareKey(identity));
        }
    }
}

void TextSelectionModel::updateLayoutCollection(AnyTextLayoutCollection collection) {
    if (collection.isEqual(layoutCollection_)) {
        return;
    }
    // Only the texts the selection held may change their share with the texts around them (the
    // range carried over, or cleared): those are told, and no other highlight runs again. A text
    // laid out anew, not in the previous collection yet, watches the collection itself.
    std::vector<platform::PropertyID> told;
    if (selectedRange_) {
        appendShareKeys(layoutCollection_, selectedRange_->start.indexPath.layout,
                        selectedRange_->end.indexPath.layout, told);
    }
    for (const platform::PropertyID key : told) {
        registrar_.willSet(key);
    }
    AnyTextLayoutCollection previous = std::move(layoutCollection_);
    registrar_.withMutation(Property::layoutCollection,
                            [&] { layoutCollection_ = std::move(collection); });
    const std::optional<TextRange> range = selectedRange();
    if (range && layoutCollection_.layoutsDiffer(previous)) {
        setSelectedRange(translatedRange(layoutCollection_, *range, previous));
    }
    for (const platform::PropertyID key : told) {
        registrar_.didSet(key);
    }
}

std::optional<std::size_t>
TextSelectionModel::observeShare(const platform::ui::Text::Layout& layout) const {
    const std::optional<std::size_t> index = layoutCollection_.index(layout);
    if (index) {
        registrar_.access(shareKey(&layout.base()));
    } else {
        registrar_.access(Property::layoutCollection);
    }
    return index;
}

std::vector<platform::Rect>
TextSelectionModel::selectionRects(const platform::ui::Text::Layout& layout) const {
    if (!observeShare(layout) || !selectedRange_) {
        return {};
    }
    std::vector<platform::Rect> rects;
    for (const TextSelectionRect& r :
         selectionRectsInLayout(layoutCollection_, *selectedRange_, layout)) {
        rects.push_back(r.rect);
    }
    return rects;
}

std::optional<platform::CharacterRange>
TextSelectionModel::selectedCharacters(const platform::ui::Text::Layout& layout) const {
    const std::optional<std::size_t> index = observeShare(layout);
    if (!index || !selectedRange_) {
        return std::nullopt;
    }
    return selectedCharacterRange(layoutCollection_, *selectedRange_, *index);
}

void TextSelectionCoordinator::registerModel(const std::shared_ptr<TextSelectionModel>& model) {
    registrar_.withMutation(Property::models, [&] { models_.emplace_back(model); });
    removeReleasedModels();
}

void TextSelectionCoordinator::coordinateSelection(const TextSelectionModel& selected) {
    // A copy: clearing a model runs its owner's callbacks, which may register another model.
    const std::vector<std::weak_ptr<TextSelectionModel>> current = models();
    for (const auto& box : current) {
        const std::shared_ptr<TextSelectionModel> model = box.lock();
        if (model == nullptr || model.get() == &selected) {
            continue;
        }
        model->setSelectedRange(std::nullopt);
    }
    removeReleasedModels();
}

void TextSelectionCoordinator::removeReleasedModels() {
    registrar_.withMutation(Property::models, [&] {
        std::erase_if(models_, [](const auto& box) { return box.expired(); });
    });
}

} // namespace vellum
