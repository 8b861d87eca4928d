#pragma once

// Whether the texts of a subtree can be selected. Selection is off unless an enclosing view turns
// it on: `vellum(view).textSelection(EnabledTextSelectability())`. The selectable text views
// (a document, an inline text) read the answer where they stand.

namespace vellum {

class TextSelectability {
public:
    virtual ~TextSelectability() = default;
    [[nodiscard]] virtual bool allowsSelection() const = 0;
};
class EnabledTextSelectability final : public TextSelectability {
public:
    [[nodiscard]] bool allowsSelection() const override { return true; }
};
class DisabledTextSelectability final : public TextSelectability {
public:
    [[nodiscard]] bool allowsSelection() const override { return false; }
};

/// The answer of the selectability given to the nearest enclosing `textSelection`; a subtree
/// without one answers as `DisabledTextSelectability`.
struct TextSelectionKey {
    using Value = bool;
    static Value defaultValue() { return DisabledTextSelectability().allowsSelection(); }
};

} // namespace vellum
