#pragma once

// Splits code into typed tokens by running the bundled highlighting script. One instance serves
// the process.
//
// The script runs in worker processes (platform::ScriptWorkerPool), each request under a time
// limit of its own that holds whatever the script is doing: some grammars backtrack for tens of
// seconds on some inputs, inside regular expressions the engine cannot interrupt. A slow request
// keeps only its own worker busy; requests from other code blocks go on in the others.
//
// Whatever goes wrong (the script throws or runs too long, its worker dies, the reply has the
// wrong shape, or its tokens do not spell out the code) the caller gets the whole code as one
// "plain" token. So does code longer than maximumCodeSize, which is not handed to the script.
//
// The languages the script has grammars for are listed beside it (prism-languages.txt, one name a
// line, written when the script is assembled): code in any other language is answered plain at
// once, without a worker. A script without such a list is asked about every language.
//
// Tokens depend on the code, its language and the script alone: the tokenizer keeps its last
// answers (up to a budget of bytes, the least recently used going first), and code it has
// answered before is answered again without a worker, or at once by knownTokens. Only the
// script's own answers are kept: the plain token given for a failure is asked for again next
// time, as the failure may have been the machine's rather than the code's.

#include "Vellum/highlighting/CodeToken.hpp"
#include "Vellum/highlighting/CodeTokenCache.hpp"
#include "platform/foundation/Bundle.hpp"
#include "platform/foundation/Logger.hpp"
#include "platform/runtime/Actor.hpp"
#include "platform/runtime/Task.hpp"
#include "platform/script/ScriptWorkerPool.hpp"

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace vellum {

class CodeTokenizer final : public platform::Actor {
public:
    // How requests run: the time limit of each and how many run at once.
    using Options = platform::ScriptWorkerPool::Options;

    // Longer code stays plain. Grammars run in roughly linear time on ordinary code (a megabyte
    // of C++ well under the time limit), but larger blocks would mostly spend a worker's time
    // limit only to come back plain.
    static constexpr std::size_t maximumCodeSize = std::size_t{1} << 20;

    // What the answers kept may occupy by default: the code of a long document several times.
    static constexpr std::size_t defaultMemoryBudget = std::size_t{16} << 20;

    using Tokens = CodeTokenCache::Tokens;

    // The process-wide tokenizer, made on first use from the library's resource bundle; nullptr
    // for the life of the process when that failed (logged once).
    [[nodiscard]] static const std::shared_ptr<CodeTokenizer>& shared();

    // A tokenizer running the script "prism-bundle.js" of `bundle` in the worker program of the
    // library's own resource bundle; nullptr, after logging why, when there is no bundle,
    // readable script or worker program.
    [[nodiscard]] static std::shared_ptr<CodeTokenizer>
    make(const std::optional<platform::Bundle>& bundle, platform::Logger logger,
         Options options = {}, std::size_t memoryBudget = defaultMemoryBudget);

    ~CodeTokenizer() override;

    // The tokens of `code` in `language` (a name the script knows, e.g. "cpp" or "js"); their
    // contents concatenate to `code`. Never fails. When the awaiting task is cancelled (its block
    // went away or changed), the request leaves the queue or its worker is stopped, and the
    // answer is the plain token at once.
    [[nodiscard]] platform::Task<std::vector<CodeToken>> tokenize(std::string code,
                                                                  std::string language);
    // The same, shared with the tokenizer's own copy when it keeps one; never null.
    [[nodiscard]] platform::Task<Tokens> tokenizeShared(std::string code, std::string language);

    // The tokens of `code` in `language` when the script answered them lately; nullptr when they
    // would have to be asked for. Never waits for a worker: may be called from any thread.
    [[nodiscard]] Tokens knownTokens(std::string_view code, std::string_view language);

    // What the answers kept occupy now (see CodeTokenCache::cost), within the budget.
    [[nodiscard]] std::size_t memoryUse() const { return known_.bytes(); }

    // Whether the script has a grammar for `language`: code in others is never sent to a worker.
    [[nodiscard]] bool knowsLanguage(std::string_view language) const;

    // Marks an answer as awaited (a code block shows plain until its tokens come) for as long as
    // the handle lives; pendingCount() counts the handles alive. Whoever waits for colouring to
    // settle (a renderer about to draw) waits for the count to reach 0, not for a quiet moment.
    [[nodiscard]] std::shared_ptr<void> awaitAnswer();
    [[nodiscard]] std::size_t pendingCount() const { return pending_->load(); }

    // Requests sent to a worker so far, and the workers' own counts.
    [[nodiscard]] std::size_t requestCount() const { return requests_.load(); }
    [[nodiscard]] platform::ScriptWorkerPool::Statistics workerStatistics() const {
        return workers_->statistics();
    }

    struct Token {};
    CodeTokenizer(Token, std::shared_ptr<platform::ScriptWorkerPool> workers,
                  std::optional<std::unordered_set<std::string>> languages, platform::Logger logger,
                  std::size_t memoryBudget);

private:
    // The script's tokens, or nullopt (logged) when the reply is no answer for `code`.
    [[nodiscard]] std::optional<std::vector<CodeToken>>
    tokensOf(const std::string& code, const platform::ScriptWorkerPool::Reply& reply);

    std::shared_ptr<platform::ScriptWorkerPool> workers_;
    // nullopt: any.
    std::optional<std::unordered_set<std::string>> languages_;
    platform::Logger logger_;
    CodeTokenCache known_;
    std::shared_ptr<std::atomic<std::size_t>> pending_ =
        std::make_shared<std::atomic<std::size_t>>(0);
    std::atomic<std::size_t> requests_{0};
};

} // namespace vellum
