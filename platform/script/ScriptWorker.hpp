#pragma once

// The worker process's side of ScriptWorkerPool: a small program of ours (tools/script-worker)
// runs this and nothing else. It reads the script from standard input, evaluates it in a context
// of its own, says it is ready, then answers calls one at a time until its input ends. It keeps
// no state between calls beyond what the script keeps, so the pool may kill it at any point and
// start another.

namespace platform {

// Serves the pool on standard input and output; returns the process's exit status.
int runScriptWorker();

} // namespace platform
