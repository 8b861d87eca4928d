#include "Vellum/highlighting/CodeTokenizer.hpp"

#include "Vellum/text/Resources.hpp"

#include <array>
#include <fstream>
#include <iterator>
#include <sstream>

namespace vellum {

namespace {

std::optional<std::string> readFile(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << stream.rdbuf();
    if (stream.bad()) {
        return std::nullopt;
    }
    return std::move(text).str();
}

} // namespace

const std::shared_ptr<CodeTokenizer>& CodeTokenizer::shared() {
    // A failure is final: the script cannot appear later in a running process. Never destroyed:
    // requests may still be under way while the process exits, and its workers end with it.
    static const std::shared_ptr<CodeTokenizer>* const tokenizer =
        new std::shared_ptr<CodeTokenizer>(
            make(locateResourceBundle(), makeVellumLogger("codeTokenizer")));
    return *tokenizer;
}

std::shared_ptr<CodeTokenizer> CodeTokenizer::make(const std::optional<platform::Bundle>& bundle,
                                                   platform::Logger logger, Options options) {
    const std::optional<std::filesystem::path> url =
        bundle ? bundle->url("prism-bundle", "js") : std::nullopt;
    std::optional<std::string> script = url ? readFile(*url) : std::nullopt;
    if (!script) {
        logger.error("Prism JavaScript bundle is missing.");
        return nullptr;
    }
    // The worker program belongs to the library, whichever bundle the script comes from.
    const std::optional<platform::Bundle>& library = locateResourceBundle();
    const std::optional<std::filesystem::path> worker =
        library ? library->url("script-worker") : std::nullopt;
    if (!worker) {
        logger.error("Script worker is missing.");
        return nullptr;
    }
    std::shared_ptr<platform::ScriptWorkerPool> workers =
        platform::ScriptWorkerPool::make(*worker, std::move(*script), url->string(), options);
    if (!workers) {
        logger.error("Script workers are not available.");
        return nullptr;
    }
    return std::make_shared<CodeTokenizer>(Token{}, std::move(workers), std::move(logger));
}

CodeTokenizer::CodeTokenizer(Token, std::shared_ptr<platform::ScriptWorkerPool> workers,
                             platform::Logger logger)
    : workers_(std::move(workers))
    , logger_(std::move(logger)) {}

CodeTokenizer::~CodeTokenizer() = default;

platform::Task<std::vector<CodeToken>> CodeTokenizer::tokenize(std::string code,
                                                               std::string language) {
    co_await hop();
    // Nobody waits for the tokens of a block that has gone or changed: its place in the queue,
    // or its worker, goes to the blocks still shown.
    if (platform::Task<>::isCancelled()) {
        co_return plainCodeTokens(std::move(code));
    }
    if (code.size() > maximumCodeSize) {
        logger_.error("Code too long to tokenize.");
        co_return plainCodeTokens(std::move(code));
    }
    // The call stands apart from the await (g++ 12, see HighlightedText.cpp); it copies the
    // arguments before it returns.
    const std::array<std::string, 2> arguments = {code, language};
    auto calling = workers_->call("tokenizeCode", arguments);
    const platform::ScriptWorkerPool::Reply reply = co_await std::move(calling);
    if (platform::Task<>::isCancelled()) {
        co_return plainCodeTokens(std::move(code)); // not a failure: nothing to log
    }
    co_return tokensOf(code, reply);
}

std::vector<CodeToken> CodeTokenizer::tokensOf(const std::string& code,
                                               const platform::ScriptWorkerPool::Reply& reply) {
    if (!reply) {
        logger_.error("Tokenization failed.");
        return plainCodeTokens(code);
    }

    std::vector<CodeToken> tokens;
    tokens.reserve(reply->size());
    std::size_t length = 0;
    for (const platform::JSContext::StringObject& object : *reply) {
        const std::string* content = nullptr;
        const std::string* type = nullptr;
        for (const auto& [name, value] : object) {
            if (name == "content") {
                content = &value;
            } else if (name == "type") {
                type = &value;
            }
        }
        // Elements without both are not tokens; they are left out.
        if (content == nullptr || type == nullptr) {
            continue;
        }
        length += content->size();
        tokens.push_back(CodeToken{*content, HighlighterTheme::TokenType(*type)});
    }

    // The highlighted code is shown and copied in place of the code: tokens that drop, repeat or
    // alter any of it would show something else than what was written.
    bool spellsCode = length == code.size();
    std::size_t offset = 0;
    for (const CodeToken& token : tokens) {
        if (!spellsCode) {
            break;
        }
        spellsCode = code.compare(offset, token.content.size(), token.content) == 0;
        offset += token.content.size();
    }
    if (!spellsCode) {
        logger_.error("Tokenization failed.");
        return plainCodeTokens(code);
    }
    return tokens;
}

} // namespace vellum
