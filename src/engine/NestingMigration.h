#pragma once

namespace larkfold {

class ConfigStore;

namespace platform {
class Bookmarks;
class FileSystem;
}

// Moves the contents of pair folders left one level too deep, in "Larkfold/Larkfold/<name>" of a
// destination that is itself named "Larkfold", up to "Larkfold/<name>", where backups look.
// Never replaces anything: items whose name is taken stay where they are. Changes no pair and
// reports nothing to the caller; failures are logged. Run once at launch, before any engine.
void runNestingMigration(const ConfigStore& configStore);
void runNestingMigration(const ConfigStore& configStore, platform::FileSystem& fileSystem,
                         const platform::Bookmarks& bookmarks);

} // namespace larkfold
