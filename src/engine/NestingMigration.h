#pragma once

#include <QByteArray>
#include <QString>

#include <filesystem>
#include <functional>
#include <optional>

namespace larkfold {

class ConfigStore;

namespace platform {
class FileSystem;
}

// What resolving a destination bookmark gave the repair.
struct DestinationBookmarkResolution {
    // The folder the bookmark names now, when it resolved and may be written; otherwise the
    // stored destination path is used.
    std::optional<std::filesystem::path> folder;
    // Why the bookmark did not resolve; empty when it did (a folder that resolved but may not be
    // written is passed over without a message).
    QString errorDescription;
};

using DestinationBookmarkResolver = std::function<DestinationBookmarkResolution(const QByteArray& bookmark)>;

// Moves the contents of pair folders left one level too deep, in "Larkfold/Larkfold/<name>" of a
// destination that is itself named "Larkfold", up to "Larkfold/<name>", where backups look.
// Never replaces anything: items whose name is taken stay where they are. Changes no pair and
// reports nothing to the caller; failures are logged. Run once at launch, before any engine.
void runNestingMigration(const ConfigStore& configStore);
void runNestingMigration(const ConfigStore& configStore, platform::FileSystem& fileSystem,
                         const DestinationBookmarkResolver& resolveBookmark);

} // namespace larkfold
