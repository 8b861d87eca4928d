#include "Vellum/highlighting/CodeTokenizer.hpp"

#include "Vellum/text/Resources.hpp"
#include "platform/script/JSContext.hpp"

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
    // A failure is final: the script cannot appear later in a running process.
    static const std::shared_ptr<CodeTokenizer> tokenizer =
        make(locateResourceBundle(), makeVellumLogger("codeTokenizer"));
    return tokenizer;
}

std::shared_ptr<CodeTokenizer> CodeTokenizer::make(const std::optional<platform::Bundle>& bundle,
                                                   platform::Logger logger) {
    std::unique_ptr<platform::JSContext> context = platform::JSContext::make();
    if (!context) {
        logger.error("JavascriptCore is not available.");
        return nullptr;
    }
    const std::optional<std::filesystem::path> url =
        bundle ? bundle->url("prism-bundle", "js") : std::nullopt;
    const std::optional<std::string> script = url ? readFile(*url) : std::nullopt;
    if (!script) {
        logger.error("Prism JavaScript bundle is missing.");
        return nullptr;
    }
    // A script that throws part-way may still have defined the entry function; whether it did
    // shows at the first request.
    context->evaluate(*script, url->string());
    return std::make_shared<CodeTokenizer>(Token{}, std::move(context), std::move(logger));
}

CodeTokenizer::CodeTokenizer(Token, std::unique_ptr<platform::JSContext> context,
                             platform::Logger logger)
    : context_(std::move(context))
    , logger_(std::move(logger)) {}

CodeTokenizer::~CodeTokenizer() = default;

platform::Task<std::vector<CodeToken>> CodeTokenizer::tokenize(std::string code,
                                                               std::string language) {
    co_await hop();
    co_return tokenizeIsolated(code, language);
}

std::vector<CodeToken> CodeTokenizer::tokenizeIsolated(const std::string& code,
                                                       const std::string& language) {
    const std::array<std::string, 2> arguments = {code, language};
    const auto reply = context_->callReturningStringObjects("tokenizeCode", arguments);
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
