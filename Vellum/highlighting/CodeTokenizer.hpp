#pragma once

// Splits code into typed tokens by running the bundled highlighting script. One instance serves
// the process; its script context is used only on the actor's executor, so requests from many
// code blocks take turns.
//
// Whatever goes wrong (the script throws or runs too long, the reply has the wrong shape, or its
// tokens do not spell out the code) the caller gets the whole code as one "plain" token.

#include "Vellum/highlighting/CodeToken.hpp"
#include "platform/foundation/Bundle.hpp"
#include "platform/foundation/Logger.hpp"
#include "platform/runtime/Actor.hpp"
#include "platform/runtime/Task.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class JSContext;
} // namespace platform

namespace vellum {

class CodeTokenizer final : public platform::Actor {
public:
    // The process-wide tokenizer, made on first use from the library's resource bundle; nullptr
    // for the life of the process when that failed (logged once).
    [[nodiscard]] static const std::shared_ptr<CodeTokenizer>& shared();

    // A tokenizer running the script "prism-bundle.js" of `bundle`; nullptr, after logging why,
    // when there is no script context, bundle or readable script.
    [[nodiscard]] static std::shared_ptr<CodeTokenizer>
    make(const std::optional<platform::Bundle>& bundle, platform::Logger logger);

    ~CodeTokenizer() override;

    // The tokens of `code` in `language` (a name the script knows, e.g. "cpp" or "js"); their
    // contents concatenate to `code`. Never fails.
    [[nodiscard]] platform::Task<std::vector<CodeToken>> tokenize(std::string code,
                                                                  std::string language);

    struct Token {};
    CodeTokenizer(Token, std::unique_ptr<platform::JSContext> context, platform::Logger logger);

private:
    [[nodiscard]] std::vector<CodeToken> tokenizeIsolated(const std::string& code,
                                                          const std::string& language);

    std::unique_ptr<platform::JSContext> context_;
    platform::Logger logger_;
};

} // namespace vellum
