#pragma once

#include "platform/RunningApplications.h"

#include <QByteArray>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace larkfold {

// The running editors and the files they hold open, asked once per backup run.
struct RunningEditorFiles {
    // Display names of the running editors, without duplicates, in plain byte order.
    std::vector<std::string> editorNames;
    // Absolute paths the editors' processes hold open, as the open-file lister spells them.
    std::unordered_set<std::string> openPaths;

    bool operator==(const RunningEditorFiles&) const = default;
};

// Application identifier to display name; several identifiers share one name.
const std::unordered_map<std::string, std::string>& editorApplications();

// The answer when no listed editor runs.
const RunningEditorFiles& noRunningEditors();

// Lists the files that the processes in `pids` (decimal ids joined by ",") hold open.
using OpenFileLister = std::function<std::unordered_set<std::string>(const std::string& pids)>;

// Finds the running editors and, with one lister call for all of them, their open files.
// The lister is not called when no editor runs. Never fails.
RunningEditorFiles runningEditorFiles(platform::RunningApplications& applications);
RunningEditorFiles runningEditorFiles(platform::RunningApplications& applications, const OpenFileLister& lister);

// Runs lsof from PATH for the processes, stopped after `timeLimit`. Every failure gives an empty set.
std::unordered_set<std::string> openFilePaths(const std::string& pids,
                                              std::chrono::milliseconds timeLimit = std::chrono::seconds(5));

// The absolute paths among the name fields of lsof's "-F n" output; empty when the output is
// not valid UTF-8.
std::unordered_set<std::string> parseOpenFilePaths(const QByteArray& output);

// Whether a file, or anything inside it when it is a folder, is held open. Always false when
// no editor runs.
bool isOpenInEditor(const std::filesystem::path& file, const std::vector<std::string>& editorNames,
                    const std::unordered_set<std::string>& openPaths);

} // namespace larkfold
