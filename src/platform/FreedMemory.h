#pragma once

namespace larkfold::platform {

// Hands the memory that large work freed back to the system. The C library keeps freed memory
// in its arenas for reuse, where it still counts as the program's own: after a large backup that
// is most of what a program resting in the tray holds. Any thread; costs a few milliseconds.
void releaseFreedMemory();

} // namespace larkfold::platform
