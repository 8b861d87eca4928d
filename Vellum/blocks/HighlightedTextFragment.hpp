#pragma once

// The text of a code block, coloured by the tokens of its language. Code whose tokens the shared
// tokenizer already knows (shown before, here or elsewhere) is coloured from its first frame.
// Other code shows at once in the theme's foreground colour; the tokenizer runs off the main
// thread, once per content, and the coloured text replaces the plain one when it answers. A
// change of colour scheme or font recolours the tokens already in hand without tokenizing again.
// Drawn as a text fragment, so code selects and copies as any text does.

#include "Vellum/highlighting/CodeToken.hpp"
#include "Vellum/highlighting/HighlighterTheme.hpp"
#include "platform/foundation/AttributedString.hpp"
#include "platform/observation/ObservationRegistrar.hpp"
#include "platform/ui/UI.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellum {

class HighlightedTextFragment {
public:
    // The tokens in hand and the text made of them; lives as long as the view's identity. Views
    // that read it are invalidated only when a value really changes.
    class Model {
    public:
        // Shared with the tokenizer's own copy; null while there are none.
        using Tokens = std::shared_ptr<const std::vector<CodeToken>>;
        [[nodiscard]] const Tokens& tokens() const { return tokens_.get(); }
        void setTokens(Tokens tokens) { tokens_.set(std::move(tokens)); }
        [[nodiscard]] const std::optional<platform::AttributedString>& highlightedCode() const {
            return highlightedCode_.get();
        }
        void setHighlightedCode(std::optional<platform::AttributedString> code) {
            highlightedCode_.set(std::move(code));
        }
        // Holds an answer made by `awaitAnswer` (see CodeTokenizer::awaitAnswer) while the tokens
        // of `code` are awaited, in place of one held for other code; nothing when they are
        // awaited already or have come. answered(code) lets it go: the code's answer came (plain
        // for a failure, which the tokenizer does not keep; its code shows plain again, but is
        // awaited no more). Any thread.
        void awaitTokens(std::string_view code,
                         const std::function<std::shared_ptr<void>()>& awaitAnswer);
        void answered(std::string_view code);
        [[nodiscard]] bool awaitsTokens() const;

    private:
        enum class Property : std::uint8_t { tokens, highlightedCode };
        platform::ObservationRegistrar registrar_;
        platform::Observed<Tokens> tokens_{registrar_, Property::tokens};
        platform::Observed<std::optional<platform::AttributedString>> highlightedCode_{
            registrar_, Property::highlightedCode};
        mutable std::mutex awaitedMutex_;
        std::string awaitedCode_;
        std::shared_ptr<void> awaitedAnswer_;
        bool awaiting_ = false;
        std::optional<std::string> answeredCode_;
    };

    HighlightedTextFragment(platform::AttributedSubstring content,
                            std::optional<std::string> languageHint, HighlighterTheme theme)
        : HighlightedTextFragment(std::move(content), std::move(languageHint),
                                  std::make_shared<const HighlighterTheme>(std::move(theme))) {}
    // A theme already shared: the view and what its body captures are copied several times, a
    // theme's token properties are a map.
    HighlightedTextFragment(platform::AttributedSubstring content,
                            std::optional<std::string> languageHint,
                            std::shared_ptr<const HighlighterTheme> theme)
        : content_(std::move(content))
        , languageHint_(std::move(languageHint))
        , theme_(std::move(theme)) {}

    [[nodiscard]] platform::ui::AnyView body(platform::ui::ViewContext& context) const;
    friend bool operator==(const HighlightedTextFragment& a, const HighlightedTextFragment& b) {
        return a.content_ == b.content_ && a.languageHint_ == b.languageHint_ &&
               (a.theme_ == b.theme_ || *a.theme_ == *b.theme_);
    }

private:
    platform::AttributedSubstring content_;
    std::optional<std::string> languageHint_;
    // Never null.
    std::shared_ptr<const HighlighterTheme> theme_;
};

} // namespace vellum
