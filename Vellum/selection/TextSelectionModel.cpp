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
        registrar_.withMutation(Property::selectedRange, assign);
    }
}

void TextSelectionModel::updateLayoutCollection(AnyTextLayoutCollection collection) {
    if (collection.isEqual(layoutCollection_)) {
        return;
    }
    AnyTextLayoutCollection previous = std::move(layoutCollection_);
    // Observers are told although the range may stay: the highlight of a text laid out anew is
    // found only in the new collection.
    registrar_.withMutation(Property::layoutCollection,
                            [&] { layoutCollection_ = std::move(collection); });
    const std::optional<TextRange> range = selectedRange();
    if (!range) {
        return;
    }
    if (layoutCollection_.layoutsDiffer(previous)) {
        setSelectedRange(translatedRange(layoutCollection_, *range, previous));
    }
}

std::vector<platform::Rect>
TextSelectionModel::selectionRects(const platform::ui::Text::Layout& layout) const {
    const std::optional<TextRange>& range = selectedRange();
    if (!range) {
        return {};
    }
    std::vector<platform::Rect> rects;
    for (const TextSelectionRect& r : selectionRectsInLayout(layoutCollection(), *range, layout)) {
        rects.push_back(r.rect);
    }
    return rects;
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
