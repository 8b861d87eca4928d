#pragma once

// Everything of the async runtime in one include.
//
// In short:
// - An async function returns platform::Task<T> and is a coroutine; `co_await f()` runs it as
//   part of the current task, on the current executor unless it hops.
// - Task<T>::run(fn) starts an unstructured task on the current actor (the main executor when
//   called from the main thread outside any task), Task<T>::detached(fn) on the global pool.
//   `co_await handle.value()` waits for it; handle.cancel() cancels it.
// - Actors derive from platform::Actor and start their async members with `co_await hop();`.
//   `co_await MainActor::hop()` moves onto the main thread.
// - The main executor runs inside a GLib main context (attachToGlibMainContext) in the app;
//   tests drive it with MainExecutor::shared().runUntil(predicate, timeout), and blockingWait()
//   pumps it when called on the main thread.
// - g++ 12.2 destroys aggregate temporaries (and inline lambdas with non-trivial captures) that
//   appear inside a co_await expression twice: name them first (see Task.hpp).

#include "platform/runtime/Actor.hpp"
#include "platform/runtime/AsyncStream.hpp"
#include "platform/runtime/Cancellation.hpp"
#include "platform/runtime/Continuation.hpp"
#include "platform/runtime/Executor.hpp"
#include "platform/runtime/GlobalExecutor.hpp"
#include "platform/runtime/MainExecutor.hpp"
#include "platform/runtime/SerialExecutor.hpp"
#include "platform/runtime/Task.hpp"
#include "platform/runtime/TaskGroup.hpp"
