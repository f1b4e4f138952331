#pragma once

#include "setup/SetupPrompts.h"

#include <deque>
#include <vector>

namespace larkfold::test {

// Answers panels and alerts from queues (nothing queued: the user cancels) and records what was asked.
class FakeSetupPrompts final : public SetupPrompts {
public:
    std::vector<std::filesystem::path> chooseFolders(const FolderPanel& panel) override
    {
        panels.push_back(panel);
        if (folderAnswers.empty())
            return {};
        auto answer = folderAnswers.front();
        folderAnswers.pop_front();
        return answer;
    }

    bool confirm(const FolderAlert& alert) override
    {
        alerts.push_back(alert);
        if (alertAnswers.empty())
            return false;
        const bool answer = alertAnswers.front();
        alertAnswers.pop_front();
        return answer;
    }

    std::deque<std::vector<std::filesystem::path>> folderAnswers;
    std::deque<bool> alertAnswers; // true: the continue button
    std::vector<FolderPanel> panels;
    std::vector<FolderAlert> alerts;
};

// Hands a window's questions to prompts the test keeps, for windows that own their prompts.
class ForwardingPrompts final : public SetupPrompts {
public:
    explicit ForwardingPrompts(SetupPrompts& target) : m_target(target) {}
    std::vector<std::filesystem::path> chooseFolders(const FolderPanel& panel) override
    {
        return m_target.chooseFolders(panel);
    }
    bool confirm(const FolderAlert& alert) override { return m_target.confirm(alert); }

private:
    SetupPrompts& m_target;
};

} // namespace larkfold::test
