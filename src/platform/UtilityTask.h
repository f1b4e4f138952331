#pragma once

#include <functional>

namespace larkfold::platform {

// Runs `work` on a worker thread at utility priority: the thread is niced, so the main thread and
// the windows stay quick while it reads and writes files. The threads belong to the application,
// which waits for work still running when it ends. Main thread only.
void startUtilityTask(std::function<void()> work);

// Waits, without running the event loop, up to `timeoutMs` for every utility task to end; true
// when none is left. Main thread only.
bool waitForUtilityTasks(int timeoutMs);

} // namespace larkfold::platform
