#include "platform/script/ScriptWorkerPool.hpp"

#include "platform/runtime/Cancellation.hpp"
#include "platform/runtime/Continuation.hpp"
#include "platform/script/ScriptWorkerProtocol.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <fcntl.h>
#include <iterator>
#include <list>
#include <mutex>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// Set once the task that made a call is cancelled: the call is then dropped from the queue, or
// its worker is stopped, and it answers nullopt.
struct CallControl {
    std::atomic<bool> cancelled{false};
};

struct Call {
    std::string message;
    Continuation<ScriptWorkerPool::Reply> continuation;
    std::shared_ptr<CallControl> control;
};

// One serving thread and what it is running; `cancelEvent` is written to stop the call.
struct Slot {
    std::shared_ptr<CallControl> running;
    // When the running call went to the worker (not counting the worker's start).
    std::optional<Clock::time_point> sentAt;
    int cancelEvent = -1;
    // Waiting for a call.
    bool idle = false;
    // Has given up its worker, or is about to: counted no more.
    bool leaving = false;
    std::thread thread;

    Slot() = default;
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    ~Slot() {
        if (cancelEvent >= 0) {
            ::close(cancelEvent);
        }
    }
};

} // namespace

struct ScriptWorkerPool::State {
    std::filesystem::path helper;
    // The first message every new worker gets.
    std::string scriptMessage;
    Options options;

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Call> calls;
    // The bytes of the calls waiting.
    std::size_t queuedBytes = 0;
    // Serving threads at most at once.
    std::size_t maximum = 1;
    bool stopping = false;
    // Set once a worker reported that it has no engine: no other will have one either.
    bool unavailable = false;
    // Readable once the pool is going away; every wait on a worker watches it too.
    int stopEvent = -1;
    // One per serving thread; those that left are taken out when the next one starts, and
    // joined without the lock (a thread that has left still stops and reaps its worker, which
    // no call should wait for), or with the pool.
    std::list<std::unique_ptr<Slot>> slots;
    std::list<std::unique_ptr<Slot>> departed;
    std::atomic<std::size_t> workersStarted{0};
    std::atomic<std::size_t> workersRunning{0};

    ~State() {
        if (stopEvent >= 0) {
            ::close(stopEvent);
        }
    }

    void serve(Slot& slot);
    // Queues a call, starting a serving thread when the calls need one. With the lock held.
    void enqueue(Call call);
    // Whether the calls waiting need another serving thread. With the lock held.
    [[nodiscard]] bool needsAnotherWorker() const;
    // Starts one more serving thread (its worker starts with its first call), and moves those
    // that left to `departed`. With the lock held.
    void grow();
    // Joins the threads that left. Without the lock.
    void joinDeparted();
    // Starts another serving thread when a call has run long enough that those waiting behind it
    // should not wait for it; called from the serving threads while they wait on their workers.
    void growIfHeldUp();
    // Drops the call from the queue (answering it nullopt) or stops the worker running it.
    void cancel(const std::shared_ptr<CallControl>& control);
};

namespace {

// One worker process and the pool's end of its socket.
class Worker {
public:
    Worker(ScriptWorkerPool::State& state, Slot& slot)
        : state_(state)
        , slot_(slot) {}
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    ~Worker() { stop(); }

    ScriptWorkerPool::Reply call(std::string_view message) {
        if (pid_ < 0 && !start()) {
            stop();
            return std::nullopt;
        }
        {
            const std::scoped_lock lock(state_.mutex);
            slot_.sentAt = Clock::now();
        }
        const Deadline deadline = deadlineAfter(state_.options.callLimit);
        std::optional<std::string> payload;
        if (send(message, deadline)) {
            payload = receive(deadline);
        }
        ScriptWorkerPool::Reply reply;
        if (!payload || !scriptworker::decodeReply(*payload, reply)) {
            // Out of time, dead or confused: whatever it was doing is abandoned with it.
            stop();
            return std::nullopt;
        }
        return reply;
    }

    void stop() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            --state_.workersRunning;
        }
        pid_ = -1;
        hasClock_ = false;
    }

private:
    // When a wait on the worker gives up: once the worker has spent its processor time up to
    // `processor`, or at `wall`, whichever comes first.
    struct Deadline {
        Clock::time_point wall;
        std::chrono::nanoseconds processor{};
        // Stands for `processor` should the worker's clock not be readable.
        Clock::time_point processorOnWall;
    };

    // The processor time the worker has spent so far, all its threads together.
    [[nodiscard]] std::optional<std::chrono::nanoseconds> processorTime() const {
        timespec time{};
        if (!hasClock_ || ::clock_gettime(clock_, &time) != 0) {
            return std::nullopt;
        }
        return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
    }

    [[nodiscard]] Deadline deadlineAfter(std::chrono::milliseconds limit) const {
        const Clock::time_point now = Clock::now();
        return Deadline{now + std::max(limit, state_.options.stallLimit),
                        processorTime().value_or(std::chrono::nanoseconds(0)) + limit, now + limit};
    }

    // How much longer to wait: not at all once either of the deadline's limits is reached.
    [[nodiscard]] std::chrono::nanoseconds timeLeft(const Deadline& deadline) const {
        const Clock::time_point now = Clock::now();
        const std::optional<std::chrono::nanoseconds> spent = processorTime();
        // The worker's clock runs no faster than the wall's while it runs one thread: waiting
        // what its limit has left, then reading it again, overshoots by the time its other
        // threads (the engine's collector and compilers) ran meanwhile at most.
        const std::chrono::nanoseconds processorLeft =
            spent ? deadline.processor - *spent
                  : std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.processorOnWall -
                                                                         now);
        return std::min<std::chrono::nanoseconds>(deadline.wall - now, processorLeft);
    }

    bool start() {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
            return false;
        }
        fd_ = ends[0];
        const int theirs = ends[1];

        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        // Their end becomes their input and output (dup2 clears close-on-exec on the copies);
        // nothing else of ours leaks into them.
        ::posix_spawn_file_actions_adddup2(&actions, theirs, STDIN_FILENO);
        ::posix_spawn_file_actions_adddup2(&actions, theirs, STDOUT_FILENO);
        ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
        std::string program = state_.helper.string();
        std::array<char*, 2> argv = {program.data(), nullptr};
        pid_t pid = -1;
        const int spawned =
            ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(theirs);
        if (spawned != 0) {
            return false;
        }
        pid_ = pid;
        ++state_.workersStarted;
        ++state_.workersRunning;
        hasClock_ = ::clock_getcpuclockid(pid_, &clock_) == 0;
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);

        const Deadline deadline = deadlineAfter(state_.options.startLimit);
        if (!send(state_.scriptMessage, deadline)) {
            return false;
        }
        const std::optional<std::string> answer = receive(deadline);
        const std::optional<std::vector<std::string>> words =
            answer ? scriptworker::decodeStrings(*answer) : std::nullopt;
        if (words && words->size() == 1 && (*words)[0] == scriptworker::unavailableWord) {
            const std::scoped_lock lock(state_.mutex);
            state_.unavailable = true;
        }
        return words && words->size() == 1 && (*words)[0] == scriptworker::readyWord;
    }

    // Waits until the socket is ready for `events`; false at the deadline, when the pool stops or
    // when the call is cancelled.
    bool wait(short events, const Deadline& deadline) const {
        for (;;) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(timeLeft(deadline)).count();
            if (left <= 0) {
                return false;
            }
            std::array<pollfd, 3> watched = {pollfd{fd_, events, 0},
                                             pollfd{state_.stopEvent, POLLIN, 0},
                                             pollfd{slot_.cancelEvent, POLLIN, 0}};
            // Looks up now and then whether calls wait behind this one.
            const int ready = ::poll(watched.data(), watched.size(),
                                     static_cast<int>(std::min<long long>(left, 100)));
            if (ready == 0) {
                state_.growIfHeldUp();
                continue;
            }
            if (ready < 0 && errno != EINTR) {
                return false;
            }
            if (ready > 0) {
                return watched[1].revents == 0 && watched[2].revents == 0 &&
                       watched[0].revents != 0;
            }
        }
    }

    bool send(std::string_view bytes, const Deadline& deadline) const {
        while (!bytes.empty()) {
            const ssize_t count = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (count > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(count));
            } else if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!wait(POLLOUT, deadline)) {
                    return false;
                }
            } else if (count == 0 || errno != EINTR) {
                return false;
            }
        }
        return true;
    }

    bool receiveExactly(char* data, std::size_t size, const Deadline& deadline) const {
        while (size > 0) {
            const ssize_t count = ::recv(fd_, data, size, 0);
            if (count > 0) {
                data += count;
                size -= static_cast<std::size_t>(count);
            } else if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!wait(POLLIN, deadline)) {
                    return false;
                }
            } else if (count == 0 || errno != EINTR) {
                return false; // the worker is gone
            }
        }
        return true;
    }

    std::optional<std::string> receive(const Deadline& deadline) const {
        unsigned char header[4];
        if (!receiveExactly(reinterpret_cast<char*>(header), sizeof header, deadline)) {
            return std::nullopt;
        }
        const std::uint32_t length = scriptworker::decodeLength(header);
        if (length > scriptworker::maximumMessageSize) {
            return std::nullopt;
        }
        std::string payload(length, '\0');
        if (!receiveExactly(payload.data(), payload.size(), deadline)) {
            return std::nullopt;
        }
        return payload;
    }

    ScriptWorkerPool::State& state_;
    Slot& slot_;
    pid_t pid_ = -1;
    int fd_ = -1;
    // The worker's processor-time clock, when it could be had.
    clockid_t clock_{};
    bool hasClock_ = false;
};

} // namespace

void ScriptWorkerPool::State::serve(Slot& slot) {
    Worker worker(*this, slot);
    for (;;) {
        std::optional<Call> call;
        bool skip = false;
        {
            std::unique_lock lock(mutex);
            slot.running = nullptr;
            slot.sentAt.reset();
            slot.idle = true;
            // A worker left idle goes, with its engine's memory; the next call starts another.
            const bool woken = wake.wait_for(lock, options.idleLimit,
                                             [this] { return stopping || !calls.empty(); });
            slot.idle = false;
            if (stopping || !woken) {
                slot.leaving = true;
                break;
            }
            call.emplace(std::move(calls.front()));
            calls.pop_front();
            queuedBytes -= call->message.size();
            skip = unavailable;
            // A cancel meant for the call before this one may have come after it ended; cancels
            // are only sent under the lock, so from here on the event is this call's.
            std::uint64_t stale = 0;
            [[maybe_unused]] const ssize_t read = ::read(slot.cancelEvent, &stale, sizeof stale);
            slot.running = call->control;
            if (needsAnotherWorker()) {
                grow();
            }
        }
        joinDeparted();
        Reply reply = skip ? std::nullopt : worker.call(call->message);
        call->continuation.resume(std::move(reply));
    }
    if (options.onLeaving) {
        options.onLeaving();
    }
    worker.stop();
}

void ScriptWorkerPool::State::enqueue(Call call) {
    queuedBytes += call.message.size();
    calls.push_back(std::move(call));
    const bool anyIdle = std::any_of(slots.begin(), slots.end(),
                                     [](const auto& slot) { return slot->idle && !slot->leaving; });
    if (anyIdle) {
        wake.notify_one();
    } else if (needsAnotherWorker()) {
        grow();
    }
}

bool ScriptWorkerPool::State::needsAnotherWorker() const {
    std::size_t serving = 0;
    bool heldUp = false;
    const Clock::time_point now = Clock::now();
    for (const auto& slot : slots) {
        if (slot->leaving) {
            continue;
        }
        ++serving;
        if (slot->idle) {
            return false; // it takes the next call
        }
        heldUp = heldUp || (slot->sentAt && now - *slot->sentAt >= options.growAfter);
    }
    if (stopping || calls.empty() || serving >= maximum) {
        return false;
    }
    // One worker does for the usual trickle of short calls; its start costs more than most of
    // them take. Another is started for calls stuck behind a long one, or for a backlog that
    // would take one worker longer than another's start.
    return serving == 0 || heldUp || queuedBytes >= options.growBacklog;
}

void ScriptWorkerPool::State::grow() {
    for (auto slot = slots.begin(); slot != slots.end();) {
        const auto next = std::next(slot);
        if ((*slot)->leaving) {
            departed.splice(departed.end(), slots, slot);
        }
        slot = next;
    }
    auto slot = std::make_unique<Slot>();
    slot->cancelEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (slot->cancelEvent < 0) {
        return; // the calls wait for a thread that has one
    }
    Slot& made = *slot;
    slots.push_back(std::move(slot));
    made.thread = std::thread([this, &made] { serve(made); });
}

void ScriptWorkerPool::State::joinDeparted() {
    std::list<std::unique_ptr<Slot>> joined;
    {
        const std::scoped_lock lock(mutex);
        joined.swap(departed);
    }
    for (const auto& slot : joined) {
        if (slot->thread.joinable()) {
            slot->thread.join();
        }
    }
}

void ScriptWorkerPool::State::growIfHeldUp() {
    {
        const std::scoped_lock lock(mutex);
        if (needsAnotherWorker()) {
            grow();
        }
    }
    joinDeparted();
}

void ScriptWorkerPool::State::cancel(const std::shared_ptr<CallControl>& control) {
    control->cancelled.store(true);
    std::optional<Call> dropped;
    {
        const std::scoped_lock lock(mutex);
        const auto queued = std::find_if(calls.begin(), calls.end(),
                                         [&](const Call& call) { return call.control == control; });
        if (queued != calls.end()) {
            dropped.emplace(std::move(*queued));
            calls.erase(queued);
        } else {
            for (const auto& slot : slots) {
                if (slot->running == control) {
                    const std::uint64_t one = 1;
                    [[maybe_unused]] const ssize_t written =
                        ::write(slot->cancelEvent, &one, sizeof one);
                }
            }
        }
    }
    if (dropped) {
        dropped->continuation.resume(Reply());
    }
}

ScriptWorkerPool::Statistics ScriptWorkerPool::statistics() const {
    return {state_->workersStarted.load(), state_->workersRunning.load()};
}

std::size_t ScriptWorkerPool::defaultWorkerCount() {
    // Half the cores leaves the rest to layout and drawing; two keep one slow call from holding
    // up every other, and more than four workers (each an engine with its own heap) buy little.
    const std::size_t cores = std::thread::hardware_concurrency();
    return std::clamp<std::size_t>(cores / 2, 2, 4);
}

std::shared_ptr<ScriptWorkerPool> ScriptWorkerPool::make(std::filesystem::path helper,
                                                         std::string script, std::string sourceURL,
                                                         Options options) {
    auto state = std::make_shared<State>();
    state->helper = std::move(helper);
    const std::array<std::string_view, 2> first = {script, sourceURL};
    state->scriptMessage = scriptworker::encodeStrings(first);
    state->options = options;
    state->stopEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state->stopEvent < 0) {
        return nullptr;
    }
    state->maximum = options.workers > 0 ? options.workers : defaultWorkerCount();
    return std::make_shared<ScriptWorkerPool>(std::move(state));
}

ScriptWorkerPool::ScriptWorkerPool(std::shared_ptr<State> state)
    : state_(std::move(state)) {}

ScriptWorkerPool::~ScriptWorkerPool() {
    {
        const std::scoped_lock lock(state_->mutex);
        state_->stopping = true;
    }
    state_->wake.notify_all();
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(state_->stopEvent, &one, sizeof one);
    // No thread starts once the pool stops: the list is no longer changed.
    for (const auto& slot : state_->slots) {
        if (slot->thread.joinable()) {
            slot->thread.join();
        }
    }
    state_->joinDeparted();
    std::deque<Call> left;
    {
        const std::scoped_lock lock(state_->mutex);
        left.swap(state_->calls);
    }
    for (const Call& call : left) {
        call.continuation.resume(Reply());
    }
}

namespace {

Task<ScriptWorkerPool::Reply> awaitCall(std::shared_ptr<ScriptWorkerPool::State> state,
                                        std::string message) {
    using Reply = ScriptWorkerPool::Reply;
    auto control = std::make_shared<CallControl>();
    auto enqueue = [state, control, &message]() {
        std::function<void(Continuation<Reply>)> body =
            [state, control,
             message = std::move(message)](Continuation<Reply> continuation) mutable {
                // The call may be answered, and this body destroyed with the awaiting frame, as
                // soon as it is queued: what is used after that is held here.
                const std::shared_ptr<ScriptWorkerPool::State> pool = state;
                bool queued = false;
                {
                    const std::scoped_lock lock(state->mutex);
                    // The flag is set before the cancel looks for the call under this lock: a
                    // call is either found there or never queued.
                    if (!state->stopping && !message.empty() && !control->cancelled.load()) {
                        state->enqueue(Call{std::move(message), continuation, control});
                        queued = true;
                    }
                }
                if (queued) {
                    pool->joinDeparted();
                    return;
                }
                continuation.resume(Reply());
            };
        return withCheckedContinuation<Reply>(std::move(body));
    };
    auto onCancel = [state, control] { state->cancel(control); };
    // Made apart from the await: g++ 12 destroys temporaries of a co_await expression twice.
    auto answering = withTaskCancellationHandler(std::move(enqueue), std::move(onCancel));
    co_return co_await std::move(answering);
}

} // namespace

Task<ScriptWorkerPool::Reply> ScriptWorkerPool::call(std::string_view name,
                                                     std::span<const std::string> arguments) {
    std::string message = scriptworker::encodeCall(name, arguments);
    if (message.size() - 4 > scriptworker::maximumMessageSize) {
        message.clear(); // no worker would take it
    }
    return awaitCall(state_, std::move(message));
}

} // namespace platform
