#pragma once

// Everything of the async runtime in one include.

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
