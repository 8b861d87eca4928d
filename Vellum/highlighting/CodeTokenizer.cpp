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
                                                   platform::Logger logger, Options options,
                                                   std::size_t memoryBudget) {
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
    std::optional<std::unordered_set<std::string>> languages;
    const std::optional<std::filesystem::path> list = bundle->url("prism-languages", "txt");
    if (const std::optional<std::string> names = list ? readFile(*list) : std::nullopt) {
        languages.emplace();
        std::istringstream lines(*names);
        for (std::string name; std::getline(lines, name);) {
            if (!name.empty()) {
                languages->insert(std::move(name));
            }
        }
    }
    return std::make_shared<CodeTokenizer>(Token{}, std::move(workers), std::move(languages),
                                           std::move(logger), memoryBudget);
}

CodeTokenizer::CodeTokenizer(Token, std::shared_ptr<platform::ScriptWorkerPool> workers,
                             std::optional<std::unordered_set<std::string>> languages,
                             platform::Logger logger, std::size_t memoryBudget)
    : workers_(std::move(workers))
    , languages_(std::move(languages))
    , logger_(std::move(logger))
    , known_(memoryBudget) {}

bool CodeTokenizer::knowsLanguage(std::string_view language) const {
    return !languages_ || languages_->contains(std::string(language));
}

std::shared_ptr<void> CodeTokenizer::awaitAnswer() {
    struct Awaited {
        explicit Awaited(std::shared_ptr<std::atomic<std::size_t>> counter)
            : pending(std::move(counter)) {}
        std::shared_ptr<std::atomic<std::size_t>> pending;
        Awaited(const Awaited&) = delete;
        Awaited& operator=(const Awaited&) = delete;
        ~Awaited() { --*pending; }
    };
    ++*pending_;
    return std::make_shared<Awaited>(pending_);
}

CodeTokenizer::~CodeTokenizer() = default;

CodeTokenizer::Tokens CodeTokenizer::knownTokens(std::string_view code, std::string_view language) {
    return known_.find(code, language);
}

platform::Task<std::vector<CodeToken>> CodeTokenizer::tokenize(std::string code,
                                                               std::string language) {
    // Apart from the await, as below.
    auto tokenizing = tokenizeShared(std::move(code), std::move(language));
    const Tokens tokens = co_await std::move(tokenizing);
    co_return *tokens;
}

platform::Task<CodeTokenizer::Tokens> CodeTokenizer::tokenizeShared(std::string code,
                                                                    std::string language) {
    if (Tokens known = known_.find(code, language)) {
        co_return known;
    }
    const auto plain = [](std::string text) {
        return std::make_shared<const std::vector<CodeToken>>(plainCodeTokens(std::move(text)));
    };
    // No grammar, no colour: a worker would only say so.
    if (!knowsLanguage(language)) {
        co_return plain(std::move(code));
    }
    co_await hop();
    // Nobody waits for the tokens of a block that has gone or changed: its place in the queue,
    // or its worker, goes to the blocks still shown.
    if (platform::Task<>::isCancelled()) {
        co_return plain(std::move(code));
    }
    if (code.size() > maximumCodeSize) {
        logger_.error("Code too long to tokenize.");
        co_return plain(std::move(code));
    }
    // The call stands apart from the await (g++ 12, see HighlightedText.cpp); it copies the
    // arguments before it returns.
    const std::array<std::string, 2> arguments = {code, language};
    ++requests_;
    auto calling = workers_->call("tokenizeCode", arguments);
    const platform::ScriptWorkerPool::Reply reply = co_await std::move(calling);
    if (platform::Task<>::isCancelled()) {
        co_return plain(std::move(code)); // not a failure: nothing to log
    }
    std::optional<std::vector<CodeToken>> tokens = tokensOf(code, reply);
    if (!tokens) {
        // Not kept: a worker out of time on a busy machine may well answer next time.
        co_return plain(std::move(code));
    }
    auto answer = std::make_shared<const std::vector<CodeToken>>(std::move(*tokens));
    known_.insert(std::move(code), std::move(language), answer);
    co_return answer;
}

std::optional<std::vector<CodeToken>>
CodeTokenizer::tokensOf(const std::string& code, const platform::ScriptWorkerPool::Reply& reply) {
    if (!reply) {
        logger_.error("Tokenization failed.");
        return std::nullopt;
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
        return std::nullopt;
    }
    return tokens;
}

} // namespace vellum
