#pragma once

#include <functional>

namespace larkfold::platform {

// Queues fn to run on the Qt main thread. Safe from any thread; dropped when no application exists.
void postToMainThread(std::function<void()> fn);

// From a worker thread: runs fn on the main thread and waits for it. Returns false, without
// running fn, once quitting has begun; workers already waiting are released with false.
// Calling it on the main thread is a programming error and stops the process.
bool runOnMainThreadAndWait(std::function<void()> fn);

// Marks the start of quitting: later runOnMainThreadAndWait calls fail at once.
void beginQuitting();

bool isMainThread();

// Stops the process (also in Release builds) when called off the main thread.
void requireMainThread(const char* what);

} // namespace larkfold::platform
