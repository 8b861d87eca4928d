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

// What recolouring depends on: the tokens and the text environment they resolve against.
struct ColouringInput {
    std::vector<CodeToken> tokens;
    TextEnvironmentValues environment;
    friend bool operator==(const ColouringInput&, const ColouringInput&) = default;
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

ui::AnyView HighlightedTextFragment::body(ui::ViewContext& context) const {
    const TextEnvironmentValues environment(context.environment());
    const std::shared_ptr<Model> model =
        context.stateObject<Model>([] { return std::make_shared<Model>(); });

    // Until the tokens are in, the code shows in the plain look, made here rather than from a
    // plain token set later: a second look of the same text would lay the block out twice.
    const std::optional<AttributedString>& highlighted = model->highlightedCode();
    AttributedString shown =
        highlighted ? *highlighted
                    : highlightCode(plainCodeTokens(std::string(content_.characters())), content_,
                                    *theme_, environment);
    ui::AnyView text(TextFragment(std::move(shown)));
    if (const std::optional<platform::Color> foreground =
            theme_->foregroundColor.resolve(environment.colorEnvironment())) {
        text = text.foregroundStyle(*foreground);
    }
    return text
        .task(CodeIdentity{AttributedString(content_)}, platform::TaskPriority::userInitiated,
              [model, content = content_, hint = languageHint_]() -> platform::Task<void> {
                  return [](std::shared_ptr<Model> model, AttributedSubstring content,
                            std::optional<std::string> hint) -> platform::Task<void> {
                      std::string code(content.characters());
                      // Tokens of earlier code do not fit this one: the plain look shows while
                      // the tokenizer works.
                      model->setTokens({});
                      const std::shared_ptr<CodeTokenizer>& tokenizer = CodeTokenizer::shared();
                      if (!tokenizer || !hint) {
                          co_return;
                      }
                      platform::Task<std::vector<CodeToken>> tokenizing =
                          tokenizeCodeBlock(std::move(code), std::move(hint), tokenizer);
                      std::vector<CodeToken> tokens = co_await std::move(tokenizing);
                      // Newer code has taken over: its own task sets its tokens, and these would
                      // colour text they were not made for.
                      if (platform::Task<void>::isCancelled()) {
                          co_return;
                      }
                      model->setTokens(std::move(tokens));
                  }(model, content, hint);
              })
        .onChange<ColouringInput>(ColouringInput{model->tokens(), environment},
                                  [model, content = content_, theme = theme_](
                                      const ColouringInput& /*old*/, const ColouringInput& input) {
                                      if (input.tokens.empty()) {
                                          model->setHighlightedCode(std::nullopt);
                                          return;
                                      }
                                      model->setHighlightedCode(highlightCode(
                                          input.tokens, content, *theme, input.environment));
                                  });
}

} // namespace vellum
