#pragma once

#include "status/PairActionPrompts.h"

#include <deque>
#include <vector>

namespace larkfold::test {

// Answers the row commands' panels and alerts from queues (nothing queued: the user cancels)
// and records what was asked.
class FakePairActionPrompts final : public PairActionPrompts {
public:
    std::vector<std::filesystem::path> chooseFolders(const FolderPanel& panel) override
    {
        panels.push_back(panel);
        return take(folderAnswers, std::vector<std::filesystem::path>{});
    }
    bool confirm(const FolderAlert& alert) override
    {
        alerts.push_back(alert);
        return take(alertAnswers, false);
    }
    bool confirmFirst(const ConfirmAlert& alert) override
    {
        confirmations.push_back(alert);
        return take(confirmAnswers, false);
    }
    void tell(const QString& message) override { told.push_back(message); }

    std::deque<std::vector<std::filesystem::path>> folderAnswers;
    std::deque<bool> alertAnswers; // true: the continue button
    std::deque<bool> confirmAnswers; // true: the first button
    std::vector<FolderPanel> panels;
    std::vector<FolderAlert> alerts;
    std::vector<ConfirmAlert> confirmations;
    std::vector<QString> told;

private:
    template <typename T>
    static T take(std::deque<T>& answers, T otherwise)
    {
        if (answers.empty())
            return otherwise;
        T answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }
};

// Hands the questions to prompts the test keeps.
class ForwardingPairActionPrompts final : public PairActionPrompts {
public:
    explicit ForwardingPairActionPrompts(PairActionPrompts& target) : m_target(target) {}
    std::vector<std::filesystem::path> chooseFolders(const FolderPanel& panel) override
    {
        return m_target.chooseFolders(panel);
    }
    bool confirm(const FolderAlert& alert) override { return m_target.confirm(alert); }
    bool confirmFirst(const ConfirmAlert& alert) override { return m_target.confirmFirst(alert); }
    void tell(const QString& message) override { m_target.tell(message); }

private:
    PairActionPrompts& m_target;
};

} // namespace larkfold::test
