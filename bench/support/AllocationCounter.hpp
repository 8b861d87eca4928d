#pragma once

// Counts every heap allocation of a benchmark program: link AllocationCounter.cpp into it, and
// read the difference of allocationCount() around a loop. Counts are exact where times are noisy.

#include <cstdint>

namespace bench {

[[nodiscard]] std::uint64_t allocationCount() noexcept;

} // namespace bench
