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

#include "Vellum/highlighting/CodeToken.hpp"
#include "platform/foundation/Bundle.hpp"
#include "platform/foundation/Logger.hpp"
#include "platform/runtime/Actor.hpp"
#include "platform/runtime/Task.hpp"
#include "platform/script/ScriptWorkerPool.hpp"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
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

    // The process-wide tokenizer, made on first use from the library's resource bundle; nullptr
    // for the life of the process when that failed (logged once).
    [[nodiscard]] static const std::shared_ptr<CodeTokenizer>& shared();

    // A tokenizer running the script "prism-bundle.js" of `bundle` in the worker program of the
    // library's own resource bundle; nullptr, after logging why, when there is no bundle,
    // readable script or worker program.
    [[nodiscard]] static std::shared_ptr<CodeTokenizer>
    make(const std::optional<platform::Bundle>& bundle, platform::Logger logger,
         Options options = {});

    ~CodeTokenizer() override;

    // The tokens of `code` in `language` (a name the script knows, e.g. "cpp" or "js"); their
    // contents concatenate to `code`. Never fails. When the awaiting task is cancelled (its block
    // went away or changed), the request leaves the queue or its worker is stopped, and the
    // answer is the plain token at once.
    [[nodiscard]] platform::Task<std::vector<CodeToken>> tokenize(std::string code,
                                                                  std::string language);

    struct Token {};
    CodeTokenizer(Token, std::shared_ptr<platform::ScriptWorkerPool> workers,
                  platform::Logger logger);

private:
    [[nodiscard]] std::vector<CodeToken> tokensOf(const std::string& code,
                                                  const platform::ScriptWorkerPool::Reply& reply);

    std::shared_ptr<platform::ScriptWorkerPool> workers_;
    platform::Logger logger_;
};

} // namespace vellum
