#pragma once

#include "app/MenuPrompts.h"
#include "setup/FakeSetupPrompts.h"

#include <deque>
#include <vector>

namespace larkfold::test {

// Answers the folder panels and alerts as the setup flows' fake does, and the menu's own alerts
// from a queue (nothing queued: the second button, or the only one), recording what was asked.
class FakeMenuPrompts final : public MenuPrompts {
public:
    std::vector<std::filesystem::path> chooseFolders(const FolderPanel& panel) override
    {
        return folders.chooseFolders(panel);
    }
    bool confirm(const FolderAlert& alert) override { return folders.confirm(alert); }

    bool alert(const MenuAlert& alert) override
    {
        alerts.push_back(alert);
        if (alertAnswers.empty())
            return alert.secondButton.isEmpty();
        const bool answer = alertAnswers.front();
        alertAnswers.pop_front();
        return answer;
    }

    FakeSetupPrompts folders;
    std::deque<bool> alertAnswers; // true: the first button
    std::vector<MenuAlert> alerts;
};

} // namespace larkfold::test
