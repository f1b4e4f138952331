#include "app/UpdateController.h"

#include "app/MenuPrompts.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#ifndef LARKFOLD_VERSION
#define LARKFOLD_VERSION "0"
#endif
#ifndef LARKFOLD_UPDATE_FEED_URL
#define LARKFOLD_UPDATE_FEED_URL ""
#endif

namespace larkfold {
namespace {

// An appcast is a few kilobytes; anything this large is not one.
constexpr qint64 kMaxFeedBytes = 4 * 1024 * 1024;

const QString kCheckFailed = QStringLiteral("Larkfold couldn't check for updates.");

} // namespace

UpdateController::UpdateController(QUrl feed, MenuPrompts& prompts, QObject* parent)
    : UpdateController(std::move(feed), prompts, Options{}, parent)
{
}

UpdateController::UpdateController(QUrl feed, MenuPrompts& prompts, Options options, QObject* parent)
    : QObject(parent)
    , m_feed(std::move(feed))
    , m_prompts(prompts)
    , m_options(std::move(options))
    , m_startedAt(QDateTime::currentDateTimeUtc())
{
    m_automaticCheck.setSingleShot(true);
    connect(&m_automaticCheck, &QTimer::timeout, this, &UpdateController::automaticCheckDue);
    scheduleAutomaticCheck();
}

UpdateController::~UpdateController()
{
    // Its end must not reach a controller that is going.
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

QUrl UpdateController::defaultFeed()
{
    return QUrl(QStringLiteral(LARKFOLD_UPDATE_FEED_URL), QUrl::StrictMode);
}

QString UpdateController::runningVersion()
{
    return QStringLiteral(LARKFOLD_VERSION);
}

bool UpdateController::automaticallyChecksForUpdates() const
{
    return canCheckForUpdates() && storedAutomaticChecks(m_feed);
}

bool UpdateController::storedAutomaticChecks(const QUrl& feed)
{
    return feed.isValid() && !feed.isEmpty()
        && platform::userDefaults().value(QString::fromLatin1(kAutomaticChecksKey), false).toBool();
}

void UpdateController::setAutomaticallyChecksForUpdates(bool on)
{
    if (!canCheckForUpdates())
        return;
    platform::userDefaults().setValue(QString::fromLatin1(kAutomaticChecksKey), on);
    scheduleAutomaticCheck();
}

std::optional<QDateTime> UpdateController::lastCheck() const
{
    const QDateTime last = QDateTime::fromString(
        platform::userDefaults().value(QString::fromLatin1(kLastCheckKey)).toString(), Qt::ISODate);
    if (!last.isValid())
        return std::nullopt;
    return last;
}

std::optional<QDateTime> UpdateController::nextAutomaticCheck() const
{
    if (!automaticallyChecksForUpdates())
        return std::nullopt;
    const auto interval = std::chrono::duration_cast<std::chrono::milliseconds>(m_options.checkInterval);
    return lastCheck().value_or(m_startedAt).addMSecs(interval.count());
}

void UpdateController::scheduleAutomaticCheck()
{
    m_automaticCheck.stop();
    const auto next = nextAutomaticCheck();
    if (!next)
        return;
    const qint64 delay = std::max<qint64>(0, QDateTime::currentDateTimeUtc().msecsTo(*next));
    m_automaticCheck.start(std::chrono::milliseconds(delay));
}

void UpdateController::automaticCheckDue()
{
    // The timer stands still while the computer sleeps; the wall clock decides.
    const auto next = nextAutomaticCheck();
    if (!next)
        return;
    if (QDateTime::currentDateTimeUtc() < *next) {
        scheduleAutomaticCheck();
        return;
    }
    checkInBackground();
}

void UpdateController::checkForUpdates()
{
    if (!canCheckForUpdates()) {
        m_prompts.alert(MenuAlert::notice(MenuAlert::Style::informational,
                                          QStringLiteral("This build of Larkfold does not check for updates.")));
        return;
    }
    startCheck(true);
}

void UpdateController::checkInBackground()
{
    if (canCheckForUpdates())
        startCheck(false);
}

void UpdateController::startCheck(bool userInitiated)
{
    if (m_reply || m_showingOutcome)
        return;
    if (!m_network)
        m_network = std::make_unique<QNetworkAccessManager>();
    QNetworkRequest request(m_feed);
    request.setTransferTimeout(int(m_options.timeout.count()));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply* reply = m_network->get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxFeedBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, userInitiated] { finishCheck(reply, userInitiated); });
}

void UpdateController::finishCheck(QNetworkReply* reply, bool userInitiated)
{
    reply->deleteLater();
    m_reply = nullptr;
    platform::userDefaults().setValue(QString::fromLatin1(kLastCheckKey),
                                      QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    scheduleAutomaticCheck();

    QString problem;
    std::optional<AppcastItem> newest;
    const QByteArray body = reply->error() == QNetworkReply::NoError ? reply->read(kMaxFeedBytes + 1) : QByteArray();
    if (reply->error() != QNetworkReply::NoError)
        problem = QStringLiteral("The update server could not be reached: %1").arg(reply->errorString());
    else if (body.size() > kMaxFeedBytes)
        problem = QStringLiteral("The update feed is too large to be one.");
    else
        newest = Appcast::newestItem(body, &problem);

    m_showingOutcome = true;
    if (!newest) {
        qCWarning(lcApp).noquote() << QStringLiteral("Update check failed: %1").arg(problem);
        if (userInitiated)
            m_prompts.alert(MenuAlert::notice(MenuAlert::Style::warning, kCheckFailed, problem));
    } else if (compareVersions(newest->version, m_options.currentVersion) > 0) {
        announce(*newest);
    } else if (userInitiated) {
        m_prompts.alert(MenuAlert::notice(MenuAlert::Style::informational, QStringLiteral("You're up to date."),
                                          QStringLiteral("Larkfold %1 is currently the newest version available.")
                                              .arg(m_options.currentVersion)));
    }
    m_showingOutcome = false;
    emit checkFinished();
}

void UpdateController::announce(const AppcastItem& item)
{
    QString details = QStringLiteral("Larkfold %1 is now available — you have %2.")
                          .arg(item.displayVersion, m_options.currentVersion);
    if (item.releaseNotes.isValid())
        details += QStringLiteral("\n\nRelease notes: ") + item.releaseNotes.toString();
    MenuAlert alert = MenuAlert::notice(MenuAlert::Style::informational,
                                        QStringLiteral("A new version of Larkfold is available!"), details);
    if (item.releaseNotes.isValid()) {
        alert.link = item.releaseNotes;
        alert.linkButton = QStringLiteral("Release Notes");
    }
    emit updateReminderActive();
    m_prompts.alert(alert);
    emit updateReminderCleared();
}

} // namespace larkfold
