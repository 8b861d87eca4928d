#pragma once

// The concurrency utilities in one include.

#include "concurrency/ActorIsolated.hpp"
#include "concurrency/AnyHashableSendable.hpp"
#include "concurrency/AsyncStreamAdapters.hpp"
#include "concurrency/LockIsolated.hpp"
#include "concurrency/MainSerialExecutor.hpp"
#include "concurrency/TaskHelpers.hpp"
#include "concurrency/UncheckedBox.hpp"
#include "concurrency/UncheckedSendable.hpp"
