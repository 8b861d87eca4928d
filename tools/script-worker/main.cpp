// The script worker: runs calls into a script for a ScriptWorkerPool in a process of its own, so
// that a call stuck where the engine cannot stop it can be ended by killing the process.

#include "platform/script/ScriptWorker.hpp"

int main() {
    return platform::runScriptWorker();
}
