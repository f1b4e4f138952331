#pragma once

#include "app/Appcast.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

namespace larkfold {

class MenuPrompts;

// Tells the user about newer versions of Larkfold, read from an appcast at a fixed address. It
// downloads and installs nothing: a newer version is announced with its release notes. The
// automatic-check setting and the time of the last check are user defaults. Main thread only.
class UpdateController : public QObject {
    Q_OBJECT

public:
    struct Options {
        std::chrono::milliseconds checkInterval = std::chrono::hours(24);
        // The version this program is.
        QString currentVersion = runningVersion();
        // How long a check may take before it counts as failed.
        std::chrono::milliseconds timeout = std::chrono::seconds(30);
    };

    static constexpr const char* kAutomaticChecksKey = "automaticallyChecksForUpdates";
    static constexpr const char* kLastCheckKey = "lastUpdateCheck";

    // `feed`: the appcast's address; an empty one means this build checks for nothing.
    UpdateController(QUrl feed, MenuPrompts& prompts, QObject* parent = nullptr);
    UpdateController(QUrl feed, MenuPrompts& prompts, Options options, QObject* parent = nullptr);
    ~UpdateController() override;

    // The address this build was made with (empty unless one was configured).
    static QUrl defaultFeed();
    static QString runningVersion();

    const QUrl& feed() const { return m_feed; }
    // False without a feed: nothing can be checked and automatic checks stay off.
    bool canCheckForUpdates() const { return m_feed.isValid() && !m_feed.isEmpty(); }

    bool automaticallyChecksForUpdates() const;
    // The stored setting as a controller for `feed` would read it, without making one.
    static bool storedAutomaticChecks(const QUrl& feed);
    // Stored at once; on, a check follows a day after the last one.
    void setAutomaticallyChecksForUpdates(bool on);

    // The user's check: its outcome, whatever it is, in an alert. Ignored while a check runs.
    void checkForUpdates();
    // The daily check: tells the user only of a newer version.
    void checkInBackground();
    bool isChecking() const { return m_reply != nullptr; }

    // When the next automatic check is due; none while automatic checks are off.
    std::optional<QDateTime> nextAutomaticCheck() const;

signals:
    // A newer version is being shown to the user, and that showing ended.
    void updateReminderActive();
    void updateReminderCleared();
    // A check ended, whatever its outcome.
    void checkFinished();

private:
    void startCheck(bool userInitiated);
    void finishCheck(QNetworkReply* reply, bool userInitiated);
    void announce(const AppcastItem& item);
    void scheduleAutomaticCheck();
    void automaticCheckDue();
    std::optional<QDateTime> lastCheck() const;

    QUrl m_feed;
    MenuPrompts& m_prompts;
    Options m_options;
    std::unique_ptr<QNetworkAccessManager> m_network;
    QNetworkReply* m_reply = nullptr; // the check under way
    // An outcome is on the screen; a check asked for meanwhile would put a second one beside it.
    bool m_showingOutcome = false;
    QTimer m_automaticCheck;
    // With no check on record, the first one comes an interval after this.
    QDateTime m_startedAt;
};

} // namespace larkfold
