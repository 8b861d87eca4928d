#pragma once

// Selection of rendered text with the pointer and the keyboard. `TextSelectionInteraction` keeps
// the selection of the content in a `TextSelectionModel`, feeds it the content's laid-out texts
// after every layout pass and lays a `TextInteractionView` over the content; the text fragments
// inside paint their share of the selection themselves, also those in horizontally scrolling
// regions. `TextSelectionCoordination` lets the selectable texts of one document keep one
// selection between them.
//
// Selection is off unless an enclosing view turns it on with `vellum(view).textSelection(...)`.

#include "Vellum/selection/TextSelectionModel.hpp"
#include "Vellum/style/TextSelectability.hpp"
#include "platform/appkit/ShareAction.hpp"
#include "platform/ui/UI.hpp"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vellum {

/// Turns selection of the texts inside `view` on or off: `vellum(view).textSelection(...)`.
[[nodiscard]] platform::ui::AnyView textSelection(platform::ui::AnyView view,
                                                  const TextSelectability& selectability);

/// The coordinator of the enclosing document, if any.
struct TextSelectionCoordinatorKey {
    using Value = std::shared_ptr<TextSelectionCoordinator>;
    static Value defaultValue() { return nullptr; }
};

/// Maps pointer, keys and the context menu over selectable text to changes of its model, and
/// copies and shares the selection. Draws nothing. Points are in the content's own space, which is
/// the space of the model's layout collection.
class TextInteractionView final : public platform::ui::InteractionObject,
                                  public std::enable_shared_from_this<TextInteractionView> {
public:
    explicit TextInteractionView(std::shared_ptr<TextSelectionModel> model)
        : model_(std::move(model)) {}

    const std::shared_ptr<TextSelectionModel>& model() const { return model_; }
    /// Lays out what lazy stacks of the content still estimate, before a Select All and before a
    /// selection is copied.
    void setLayOutDeferred(platform::ui::LayOutDeferredAction layOutDeferred) {
        layOutDeferred_ = std::move(layOutDeferred);
    }
    void setOpenURL(platform::ui::OpenURLAction openURL) { openURL_ = std::move(openURL); }
    /// Scrolls the moving end of the selection into view, and the pointer of a drag held outside
    /// the part shown.
    void setScrollRectToVisible(platform::ui::ScrollRectToVisibleAction scroll) {
        scrollRectToVisible_ = std::move(scroll);
    }
    void setShareAction(platform::ShareAction share) { share_ = std::move(share); }

    bool pointerDown(const platform::ui::PointerEvent& event) override;
    bool pointerDragged(const platform::ui::PointerEvent& event) override;
    bool pointerUp(const platform::ui::PointerEvent& event) override;
    bool keyDown(const platform::ui::KeyEvent& event) override;
    std::vector<platform::ui::MenuItem> contextMenu(platform::Point point) override;
    std::optional<platform::ui::CursorShape> cursor(platform::Point point) const override;
    void frameChanged(platform::Rect frame) override { origin_ = frame.origin; }

    /// Selects every text of the content, also those of rows a lazy stack had not laid out yet.
    void selectAll();
    /// The selection as plain text and HTML, exported from the selected part of the texts, those
    /// of rows a lazy stack had not laid out yet included.
    struct Copied {
        std::string plainText;
        std::string html;
    };
    [[nodiscard]] std::optional<Copied> copiedSelection() const;
    /// Writes the selection to the desktop's clipboard in both forms. A collapsed selection
    /// copies nothing: the clipboard keeps what it held.
    void copy();
    /// Offers the selection in both forms to the desktop's applications, in a menu below the
    /// selection's last rectangle.
    void share();

private:
    enum class Line : std::uint8_t { above, below, start, end };
    void extendSelection(
        const std::function<std::optional<TextPosition>(const TextPosition&, const TextPosition&)>&
            move);
    void setOrdered(const TextPosition& a, const TextPosition& b);
    /// Lays out the rows a lazy stack still estimates when the selection may pass some.
    void layOutRowsInSelection() const;
    /// Ctrl+Left and Ctrl+Right: the selection collapses to the word boundary before its start or
    /// after its end.
    bool moveByWord(bool forward);
    const TextLayoutCollection& collection() const { return model_->layoutCollection(); }
    /// A position kept from one event to a later one, with the texts it was taken in: by then
    /// rows of a lazy document laid out above its text may have moved it to another index, and a
    /// row laid out again may have given it other lines.
    struct HeldPosition {
        TextPosition position;
        AnyTextLayoutCollection texts;
    };
    HeldPosition hold(const TextPosition& position) const {
        return {position, model_->layoutCollection()};
    }
    /// The held position in the current texts; none, and forgotten, when its text is gone.
    std::optional<TextPosition> current(std::optional<HeldPosition>& held) const;

    std::shared_ptr<TextSelectionModel> model_;
    platform::ui::LayOutDeferredAction layOutDeferred_;
    platform::ui::OpenURLAction openURL_;
    platform::ui::ScrollRectToVisibleAction scrollRectToVisible_;
    platform::ShareAction share_;
    /// The content's origin in root coordinates, where the share menu is placed and what a
    /// scroll request is offset by.
    platform::Point origin_;
    std::optional<HeldPosition> dragStart_;
    /// The end of the selection that shift-clicks and shift-keys extend from.
    std::optional<HeldPosition> selectionAnchor_;
};

/// The model of the selectable text a view lies in (none outside selectable text).
struct TextSelectionModelKey {
    using Value = std::shared_ptr<TextSelectionModel>;
    static Value defaultValue() { return nullptr; }
};

/// Makes the content's texts selectable when the environment allows it.
struct TextSelectionInteraction {
    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context,
                                             platform::ui::AnyView content) const;
    friend bool operator==(const TextSelectionInteraction&,
                           const TextSelectionInteraction&) = default;
};

/// Gives the selectable texts inside one coordinator, so that one of them holds the selection.
struct TextSelectionCoordination {
    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context,
                                             platform::ui::AnyView content) const;
    friend bool operator==(const TextSelectionCoordination&,
                           const TextSelectionCoordination&) = default;
};

} // namespace vellum
