#pragma once

// Calls the global functions of one script in worker processes, each call with a time limit of
// its own that holds whatever the script is doing.
//
// The engine's watchdog stops running script but is not consulted while a regular expression
// backtracks, so a call stuck in one match cannot be ended inside the process that made it. A
// worker process can: at a call's limit its worker is killed, the call answers nullopt, and a
// fresh worker is started for the next call. Several workers serve one pool, so a slow call holds
// up only its own worker while the others go on; calls wait in arrival order for a free worker.
//
// The limit is a backstop behind the watchdog, not a second watchdog: it is several times the
// watchdog's, and counted in the processor time the worker spends, as the watchdog counts. A
// machine too busy to run a worker for a while only delays its answer; on the clock on the wall
// it would have turned a call that ran for a few milliseconds into a failure. A second, longer
// limit on the wall ends a worker that stalls without running at all.
//
// The workers are instances of a small helper program of ours (tools/script-worker), started
// without a shell and spoken to over a socket pair on their standard input and output. A worker
// costs a few hundred milliseconds of processor time to start and tens of megabytes to keep, more
// than most calls take: the first call starts one, which is kept for later calls; another is
// started only when calls wait behind one that has run for a while, or when the calls waiting
// would keep one worker busy for longer than another takes to start, up to the most the options
// allow. A worker left idle for a while goes. A worker that crashes or answers nonsense is
// treated like one that ran out of time.
//
// Calls are awaited from any task; the waiting happens on the pool's own threads (one per
// worker), never on the caller's executor.

#include "platform/runtime/Task.hpp"
#include "platform/script/JSContext.hpp"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class ScriptWorkerPool {
public:
    using Reply = std::optional<std::vector<JSContext::StringObject>>;

    struct Options {
        // Workers running at most at once; 0 chooses from the machine's cores (2 to 4).
        std::size_t workers = 0;
        // How long a worker is kept without a call before it goes.
        std::chrono::milliseconds idleLimit{10000};
        // How long a call may run before the calls waiting behind it get another worker.
        std::chrono::milliseconds growAfter{250};
        // The bytes of calls waiting beyond which they get another worker at once.
        std::size_t growBacklog = std::size_t{256} << 10;
        // The processor time the worker may spend on one call, from when it is sent.
        std::chrono::milliseconds callLimit = JSContext::executionTimeLimit * 4;
        // How long one call (or start) may take on the clock on the wall when that is longer
        // than its own limit, however little its worker ran meanwhile.
        std::chrono::milliseconds stallLimit{60000};
        // The processor time a new worker may spend evaluating the script; not counted against
        // any call.
        std::chrono::milliseconds startLimit{30000};
        // Called on a serving thread that has left (its worker idle past its limit, or the pool
        // stopping), holding no lock of the pool, before it stops its worker: lets a test hold
        // a worker on its way out. Nothing by default.
        std::function<void()> onLeaving;
    };

    // A pool whose workers run `helper` and evaluate `script` (named `sourceURL` in the engine's
    // messages). Starts no process yet.
    [[nodiscard]] static std::shared_ptr<ScriptWorkerPool>
    make(std::filesystem::path helper, std::string script, std::string sourceURL, Options options);

    ScriptWorkerPool(const ScriptWorkerPool&) = delete;
    ScriptWorkerPool& operator=(const ScriptWorkerPool&) = delete;
    // Kills the workers; calls still waiting or running answer nullopt.
    ~ScriptWorkerPool();

    // What JSContext::callReturningStringObjects answers for the call in a worker; nullopt as
    // well when the call ran past its limit, the worker could not be started or died, or the
    // pool is going away. The arguments are copied before this returns. When the awaiting task
    // is cancelled, a call still waiting leaves the queue without running and a running call's
    // worker is killed (to be replaced for the next call); either answers nullopt at once.
    [[nodiscard]] Task<Reply> call(std::string_view name, std::span<const std::string> arguments);

    struct Statistics {
        // Worker processes started so far, and running now.
        std::size_t workersStarted = 0;
        std::size_t workersRunning = 0;
    };
    [[nodiscard]] Statistics statistics() const;

    // The most workers used when Options::workers is 0.
    [[nodiscard]] static std::size_t defaultWorkerCount();

    struct State;
    explicit ScriptWorkerPool(std::shared_ptr<State> state);

private:
    std::shared_ptr<State> state_;
};

} // namespace platform
