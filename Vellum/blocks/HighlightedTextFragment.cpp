#include "Vellum/blocks/HighlightedTextFragment.hpp"

#include "Vellum/highlighting/CodeTokenizer.hpp"
#include "Vellum/highlighting/HighlightedText.hpp"
#include "Vellum/inline/TextFragment.hpp"
#include "Vellum/text/TextEnvironmentValues.hpp"

#include <memory>

namespace vellum {

namespace ui = platform::ui;
using platform::AttributedString;
using platform::AttributedSubstring;

namespace {

using Tokens = HighlightedTextFragment::Model::Tokens;

// What recolouring depends on: the tokens and the text environment they resolve against. Tokens
// compare by content: an answer equal to the one in hand may come in a copy of its own.
struct ColouringInput {
    Tokens tokens;
    TextEnvironmentValues environment;
    friend bool operator==(const ColouringInput& a, const ColouringInput& b) {
        return (a.tokens == b.tokens || (a.tokens && b.tokens && *a.tokens == *b.tokens)) &&
               a.environment == b.environment;
    }
};

// The identity of the tokenizing task: the code with its attributes.
struct CodeIdentity {
    AttributedString code;
    friend bool operator==(const CodeIdentity&, const CodeIdentity&) = default;
};

} // namespace

} // namespace vellum

template <>
struct std::hash<vellum::CodeIdentity> {
    std::size_t operator()(const vellum::CodeIdentity& identity) const noexcept {
        return std::hash<std::string_view>()(identity.code.characters());
    }
};

namespace vellum {

void HighlightedTextFragment::Model::awaitTokens(
    std::string_view code, const std::function<std::shared_ptr<void>()>& awaitAnswer) {
    const std::scoped_lock lock(awaitedMutex_);
    if ((awaiting_ && awaitedCode_ == code) || answeredCode_ == code) {
        return;
    }
    awaitedCode_ = code;
    awaitedAnswer_ = awaitAnswer();
    awaiting_ = true;
}

void HighlightedTextFragment::Model::answered(std::string_view code) {
    std::shared_ptr<void> answer;
    const std::scoped_lock lock(awaitedMutex_);
    answeredCode_ = code;
    if (awaitedCode_ == code) {
        answer = std::move(awaitedAnswer_); // let go once the lock is
        awaitedCode_.clear();
        awaiting_ = false;
    }
}

bool HighlightedTextFragment::Model::awaitsTokens() const {
    const std::scoped_lock lock(awaitedMutex_);
    return awaiting_;
}

ui::AnyView HighlightedTextFragment::body(ui::ViewContext& context) const {
    const TextEnvironmentValues environment(context.environment());
    // The tokens of this code the tokenizer has in hand; null without a language or a tokenizer.
    const std::shared_ptr<CodeTokenizer>& tokenizer = CodeTokenizer::shared();
    const bool tokenized = isTokenized(languageHint_, tokenizer.get());
    const auto knownTokens = [&]() -> Tokens {
        return tokenized ? tokenizer->knownTokens(content_.characters(), *languageHint_) : nullptr;
    };
    const std::shared_ptr<Model> model = context.stateObject<Model>([&] {
        auto made = std::make_shared<Model>();
        // Code shown before is coloured from the first frame on: no plain look to lay out and
        // draw first. The task finds the same tokens and leaves them be.
        if (Tokens known = knownTokens()) {
            made->setHighlightedCode(highlightCode(*known, content_, *theme_, environment));
            made->setTokens(std::move(known));
        }
        return made;
    });

    // Until the tokens are in, the code shows in the plain look, made here rather than from a
    // plain token set later: a second look of the same text would lay the block out twice. Text
    // coloured for the code this block showed before is no look of its new code.
    const std::optional<AttributedString>& highlighted = model->highlightedCode();
    AttributedString shown;
    if (highlighted && highlighted->characters() == content_.characters()) {
        shown = *highlighted;
    } else if (const Tokens known = knownTokens()) {
        shown = highlightCode(*known, content_, *theme_, environment);
    } else {
        shown = highlightCode(plainCodeTokens(std::string(content_.characters())), content_,
                              *theme_, environment);
        // Shown plain until the tokenizer answers: the answer is awaited from now on, before
        // the task that asks for it has even started.
        if (tokenized) {
            model->awaitTokens(content_.characters(),
                               [&tokenizer] { return tokenizer->awaitAnswer(); });
        }
    }
    // The fragment's body stands in its own place (a view, and a node, fewer per code block); its
    // state follows the model's in this view's slots. The theme's colour below reaches the text
    // it makes all the same: the fragment reads nothing of it.
    ui::AnyView text = TextFragment(std::move(shown)).body(context, environment);
    if (const std::optional<platform::Color> foreground =
            theme_->foregroundColor.resolve(environment.colorEnvironment())) {
        text = text.foregroundStyle(*foreground);
    }
    return text
        .task(CodeIdentity{AttributedString(content_)}, platform::TaskPriority::userInitiated,
              [model, content = content_, hint = languageHint_]() -> platform::Task<void> {
                  return [](std::shared_ptr<Model> model, AttributedSubstring content,
                            std::optional<std::string> hint) -> platform::Task<void> {
                      const std::shared_ptr<CodeTokenizer>& tokenizer = CodeTokenizer::shared();
                      std::string code(content.characters());
                      // Tokens of earlier code do not fit this one: unless the tokenizer has this
                      // code's in hand, the plain look shows while it works. Known tokens are the
                      // ones the body coloured the code with.
                      if (!isTokenized(hint, tokenizer.get()) ||
                          !tokenizer->knownTokens(code, *hint)) {
                          model->setTokens(nullptr);
                      }
                      platform::Task<Tokens> tokenizing =
                          tokenizeCodeBlock(std::move(code), std::move(hint), tokenizer);
                      Tokens tokens = co_await std::move(tokenizing);
                      // Newer code has taken over: its own task sets its tokens, and these would
                      // colour text they were not made for.
                      if (platform::Task<void>::isCancelled()) {
                          co_return;
                      }
                      model->setTokens(std::move(tokens));
                      model->answered(content.characters());
                  }(model, content, hint);
              })
        .onChange<ColouringInput>(ColouringInput{model->tokens(), environment},
                                  [model, content = content_, theme = theme_](
                                      const ColouringInput& /*old*/, const ColouringInput& input) {
                                      if (!input.tokens || input.tokens->empty()) {
                                          model->setHighlightedCode(std::nullopt);
                                          return;
                                      }
                                      model->setHighlightedCode(highlightCode(
                                          *input.tokens, content, *theme, input.environment));
                                  });
}

} // namespace vellum
