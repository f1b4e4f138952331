#pragma once

namespace larkfold::platform {

// Turns SIGTERM, SIGINT and SIGHUP into QCoreApplication::quit(), so quitting by signal takes
// the normal path that saves the configuration. Call once, on the main thread, after the application exists.
void installQuitSignals();

} // namespace larkfold::platform
