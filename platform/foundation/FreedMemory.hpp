#pragma once

namespace platform {

// Asks the process's allocator to give the pages of memory freed lately back to the system.
// mimalloc, the allocator of the programs and the benchmarks, keeps freed pages for a while for
// reuse; after a very large structure is dropped, and before another that will not reuse most
// of them is made, both would otherwise stay resident. Does nothing under another allocator (the
// sanitizer builds keep their runtime's). Costly enough to call only after such a drop.
void releaseFreedMemory() noexcept;

} // namespace platform
