#pragma once

#include "setup/DestinationChecks.h"

#include <QString>

#include <filesystem>
#include <optional>
#include <vector>

namespace larkfold {

// An open panel for folders, as a setup flow asks for it.
struct FolderPanel {
    QString prompt; // the confirming button
    QString message; // what the panel asks for
    std::optional<std::filesystem::path> startingFolder;
    bool allowsMultipleSelection = false;
    bool canCreateDirectories = false;

    bool operator==(const FolderPanel&) const = default;
};

// The panels and alerts of the setup flows; tests answer them. Main thread only; each call is
// modal and returns once the user has answered.
class SetupPrompts {
public:
    virtual ~SetupPrompts() = default;

    // The folders the user confirmed, in the panel's order; empty when the panel was cancelled.
    virtual std::vector<std::filesystem::path> chooseFolders(const FolderPanel& panel) = 0;
    // Puts the alert; true only when the user answered with its continue button.
    virtual bool confirm(const FolderAlert& alert) = 0;
};

} // namespace larkfold
