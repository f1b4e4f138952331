#pragma once

#include "setup/ProfileSuggestionModel.h"
#include "widgets/BoundedScrollArea.h"

#include <QWidget>

#include <functional>
#include <memory>

class QLabel;

namespace larkfold {

class BoundedScrollArea;

// The "Smart setup" card: the recommended profile's symbol, headline, size and description, the
// "What does this change?" section with its technical lines, and "Use defaults" beside the
// primary button, which Return presses. It calls one of its callbacks and nothing else: the
// window's owner closes the window and changes the pair.
class ProfileSuggestionView : public QWidget {
    Q_OBJECT
public:
    ProfileSuggestionView(BackupProfile recommended, const QString& pairName, qint64 totalBytes,
                          std::function<void()> onAccept, std::function<void()> onDecline, QWidget* parent = nullptr);
    ~ProfileSuggestionView() override;

    ProfileSuggestionModel& model() { return *m_model; }

private:
    QWidget* makeHeader();
    QWidget* makeChangeSection();
    QWidget* makeButtonRow();
    void showSection();
    // The window grows, or shrinks again, to what is open.
    void fitWindow();

    std::unique_ptr<ProfileSuggestionModel> m_model;
    BoundedScrollArea* m_scroll = nullptr;
    QWidget* m_changeDetails = nullptr;
    QWidget* m_technicalLines = nullptr;
    QLabel* m_technicalToggleLabel = nullptr;
    int m_openedHeight = 0; // the window's height before anything opened
};

} // namespace larkfold
