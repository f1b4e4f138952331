#pragma once

#include "status/RestorePrompts.h"

#include <deque>
#include <vector>

namespace larkfold::test {

// Answers the open panel from a queue (none: the user cancels) and records what was asked.
class FakeRestorePrompts final : public RestorePrompts {
public:
    struct Panel {
        QString acceptLabel;
        QString message;
    };

    std::optional<std::filesystem::path> chooseFolder(const QString& acceptLabel, const QString& message) override
    {
        panels.push_back({acceptLabel, message});
        if (answers.empty())
            return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void openFolder(const std::filesystem::path& folder) override { openedFolders.push_back(folder); }

    std::deque<std::optional<std::filesystem::path>> answers;
    std::vector<Panel> panels;
    std::vector<std::filesystem::path> openedFolders;
};

} // namespace larkfold::test
