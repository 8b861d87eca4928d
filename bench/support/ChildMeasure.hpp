#pragma once

// Measures a piece of work in a process of its own, so that its peak resident memory is its own:
// nothing an earlier case kept counts, and every allocator of the process is counted alike (the
// program's mimalloc, the C libraries' own). Counting through allocation hooks misses what
// mimalloc's operator new hands out without calling malloc.
//
// The benchmark runs this program again with arguments that name the work; the child does it,
// reports its numbers with report(), and the parent reads them back, together with the child's
// peak resident memory.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bench {

/// The high-water mark of this process's resident memory in kilobytes (the kernel's count for
/// the running image), or -1 when unknown.
[[nodiscard]] long peakResidentKilobytes();

/// This process's resident memory now, in kilobytes, or -1 when unknown.
[[nodiscard]] long residentKilobytes();

/// The parent's part of main: runs the benchmarks the command line names. Returns the exit status.
int runBenchmarks(int argc, char** argv);

/// In the child: hands `value` to the parent under `name`.
void report(const std::string& name, double value);

/// In the child, when its work is done: hands its peak resident memory to the parent. Returns
/// the exit status for main.
int finishChild();

struct ChildResult {
    std::map<std::string, double> values; ///< what the child reported
    double peakMegabytes = 0;             ///< the child's peak resident memory

    /// What the child reported under `name`, or -1 when it reported nothing by that name.
    [[nodiscard]] double value(const std::string& name) const {
        const auto found = values.find(name);
        return found == values.end() ? -1.0 : found->second;
    }
};

/// Runs this program again with `arguments`, its address space limited to `limitMegabytes` so
/// that a runaway case fails instead of taking the machine. Empty when the child failed (its
/// exit status was not zero, or it ran out of the limit).
[[nodiscard]] std::optional<ChildResult> runChild(const std::vector<std::string>& arguments,
                                                  std::int64_t limitMegabytes = 8192);

} // namespace bench
