#pragma once

#include "status/FakeRestorePrompts.h"
#include "status/RestoreViewModel.h"
#include "store/BackupPair.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace larkfold::test {

// A pair whose backup lies in a temporary tree: "destination/Larkfold/<name>/..." holds the
// backed-up files and "source" is the pair's source folder.
class RestoreFixture : public ::testing::Test {
protected:
    static constexpr const char* kPairName = "Documents";

    RestoreFixture();
    ~RestoreFixture() override;

    std::filesystem::path backupFolder() const;
    // Writes a file into the backup; `relative` below the pair's backup folder.
    std::filesystem::path backUp(const std::string& relative, const std::string& content = "data");
    RestoreViewModel::Environment environment();
    // The readable paths of the listed rows, in the order shown.
    static std::vector<std::string> shownPaths(const RestoreViewModel& model);
    // Runs the event loop until the scan's result is in.
    static void waitForFiles(const RestoreViewModel& model);
    // Runs the event loop until a restore started before has ended.
    static void waitForRestore(const RestoreViewModel& model);

    TempTree tree;
    BackupPair pair;
    FakeRestorePrompts prompts;
};

} // namespace larkfold::test
