#pragma once

#include "platform/runtime/Runtime.hpp"

#include <vector>

namespace moss_test {

// Every element of a stream of ints, in order, until it ends.
template <class Stream>
platform::Task<std::vector<int>> collect(Stream stream) {
    std::vector<int> out;
    while (auto element = co_await stream.next()) {
        out.push_back(*element);
    }
    co_return out;
}

// Drains copies of one stream from `consumers` detached tasks at once and returns how many
// elements they received together.
template <class Stream>
int drainConcurrently(const Stream& stream, int consumers) {
    using platform::Task;
    auto drain = [stream]() -> Task<int> {
        int count = 0;
        while (co_await stream.next()) {
            ++count;
        }
        co_return count;
    };
    std::vector<Task<int>> tasks;
    for (int i = 0; i < consumers; ++i) {
        tasks.push_back(Task<int>::detached(drain));
    }
    int total = 0;
    for (auto& task : tasks) {
        total += platform::blockingWait(task.value());
    }
    return total;
}

} // namespace moss_test
