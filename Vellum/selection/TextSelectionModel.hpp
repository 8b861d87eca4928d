#pragma once

// The selection of one selectable text: the selected range, the laid-out texts it refers to, and
// the coordinator through which it agrees with the other selectable texts of one document (the
// texts of its horizontally scrolling regions are the document's own, in its model).
// Main thread only.

#include "Vellum/inline/TextSelectionBackground.hpp"
#include "Vellum/selection/TextLayoutCollection.hpp"
#include "Vellum/selection/TextRange.hpp"
#include "platform/observation/ObservationRegistrar.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vellum {

class TextSelectionCoordinator;

class TextSelectionModel final : public TextSelectionHighlight {
public:
    enum class Property : std::uint8_t { selectedRange, layoutCollection };

    TextSelectionModel() = default;
    TextSelectionModel(const TextSelectionModel&) = delete;
    TextSelectionModel& operator=(const TextSelectionModel&) = delete;

    /// Observed read.
    [[nodiscard]] const std::optional<TextRange>& selectedRange() const;
    /// Observers hear of a change only; both callbacks run, and a range (even the one already
    /// held) clears the other models of the coordinator, on every assignment.
    void setSelectedRange(std::optional<TextRange> range);

    /// Hooks for the model's owner, run around every assignment of the range.
    std::function<void()> selectionWillChange;
    std::function<void()> selectionDidChange;

    /// Observed read: the highlight of a text depends on where its layout stands in it.
    [[nodiscard]] const AnyTextLayoutCollection& layoutCollection() const {
        registrar_.access(Property::layoutCollection);
        return layoutCollection_;
    }
    /// Takes the texts of a new layout pass, carrying the selection over when they differ from
    /// the previous ones (cleared when it cannot be carried).
    void updateLayoutCollection(AnyTextLayoutCollection collection);

    /// The share of the selection in `layout` (none when the layout is not one of the texts).
    /// Observed per text: a new range tells only the texts whose share it may change.
    [[nodiscard]] std::vector<platform::Rect>
    selectionRects(const platform::ui::Text::Layout& layout) const override;
    [[nodiscard]] std::optional<platform::CharacterRange>
    selectedCharacters(const platform::ui::Text::Layout& layout) const override;

    [[nodiscard]] std::shared_ptr<TextSelectionCoordinator> coordinator() const {
        return coordinator_.lock();
    }
    void setCoordinator(const std::shared_ptr<TextSelectionCoordinator>& coordinator) {
        coordinator_ = coordinator;
    }

private:
    // The observation key of the share of one text, named by its laid-out text rather than its
    // index: rows laid out later add texts before others, and a text's highlight must not
    // follow the index it once had.
    static platform::PropertyID shareKey(const void* identity) {
        return static_cast<platform::PropertyID>(reinterpret_cast<std::uintptr_t>(identity));
    }
    // The keys of the texts from `first` to `last` in `collection`, appended to `keys`.
    static void appendShareKeys(const TextLayoutCollection& collection, std::size_t first,
                                std::size_t last, std::vector<platform::PropertyID>& keys);
    // The index of `layout` in the collection, its share's read observed.
    std::optional<std::size_t> observeShare(const platform::ui::Text::Layout& layout) const;
    // The texts whose share may differ between the two ranges, told before and after `change`.
    template <class F>
    void withShareMutations(const std::optional<TextRange>& old,
                            const std::optional<TextRange>& now, F&& change);

    std::optional<TextRange> selectedRange_;
    AnyTextLayoutCollection layoutCollection_;
    std::weak_ptr<TextSelectionCoordinator> coordinator_;
    platform::ObservationRegistrar registrar_;
};

/// Keeps the selection in one of its models at a time. Holds them weakly: a model whose view has
/// gone is dropped at the next registration or selection.
class TextSelectionCoordinator final {
public:
    enum class Property : std::uint8_t { models };

    TextSelectionCoordinator() = default;
    TextSelectionCoordinator(const TextSelectionCoordinator&) = delete;
    TextSelectionCoordinator& operator=(const TextSelectionCoordinator&) = delete;

    void registerModel(const std::shared_ptr<TextSelectionModel>& model);
    /// Clears every registered model but `selected`.
    void coordinateSelection(const TextSelectionModel& selected);
    void removeReleasedModels();
    /// Observed read, in registration order.
    [[nodiscard]] const std::vector<std::weak_ptr<TextSelectionModel>>& models() const {
        registrar_.access(Property::models);
        return models_;
    }

private:
    std::vector<std::weak_ptr<TextSelectionModel>> models_;
    platform::ObservationRegistrar registrar_;
};

} // namespace vellum
