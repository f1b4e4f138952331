#include "setup/WelcomeModel.h"

#include "platform/Bookmark.h"
#include "platform/Drives.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/Paths.h"
#include "shell/StatusManager.h"
#include "store/ConfigStore.h"

#include <QDateTime>

namespace larkfold {

namespace fs = std::filesystem;

WelcomeModel::WelcomeModel(StatusManager& statusManager, ConfigStore& configStore, SetupPrompts& prompts,
                           CloudSyncDetector detector, QObject* parent)
    : QObject(parent), m_statusManager(statusManager), m_configStore(configStore), m_prompts(prompts),
      m_checks(DestinationChecks::of(statusManager, std::move(detector)))
{
}

void WelcomeModel::setStep(Step step)
{
    if (m_step == step)
        return;
    m_step = step;
    m_warning.clear();
    emit changed();
}

QString WelcomeModel::subtitle(Step step)
{
    switch (step) {
    case Step::pickSource:
        return QStringLiteral("Step 1 of 4 — Choose a folder to protect");
    case Step::pickDestination:
        return QStringLiteral("Step 2 of 4 — Choose a backup destination");
    case Step::pickOffsite:
        return QStringLiteral("Step 3 of 4 — Add an offsite copy (optional)");
    case Step::confirm:
        return QStringLiteral("Step 4 of 4 — Review and start");
    }
    return {};
}

QString WelcomeModel::counterText() const
{
    return QStringLiteral("Step %1 of %2").arg(stepNumber(m_step)).arg(kStepCount);
}

void WelcomeModel::setSource(std::optional<fs::path> source)
{
    if (m_source == source)
        return;
    m_source = std::move(source);
    emit changed();
}

std::optional<fs::path> WelcomeModel::chooseOne(const FolderPanel& panel)
{
    const auto folders = m_prompts.chooseFolders(panel);
    if (folders.empty())
        return std::nullopt;
    return platform::standardized(folders.front());
}

void WelcomeModel::setWarning(const QString& warning)
{
    if (m_warning == warning)
        return;
    m_warning = warning;
    emit changed();
}

void WelcomeModel::chooseSourceFolder()
{
    if (auto folder = chooseOne({QStringLiteral("Choose"), QStringLiteral("Select the folder you want to keep backed up."),
                                 platform::homeFolder(), false, false}))
        setSource(std::move(folder));
}

bool WelcomeModel::handleDrop(const QList<QUrl>& urls)
{
    for (const QUrl& url : urls) {
        const auto path = platform::localPathOfUrl(url);
        if (!path)
            continue;
        // Only the first file offered counts; a plain file is accepted but changes nothing.
        std::error_code error;
        if (fs::is_directory(*path, error))
            setSource(platform::standardized(*path));
        return true;
    }
    return false;
}

void WelcomeModel::clearSource()
{
    setSource(std::nullopt);
}

void WelcomeModel::chooseDestinationFolder(const std::optional<fs::path>& start)
{
    auto folder = chooseOne({QStringLiteral("Choose Destination"),
                             QStringLiteral("Choose or create a folder for your backups"),
                             start ? start : platform::drivesFolder(), false, true});
    if (!folder || !acceptDestination(*folder))
        return;
    m_destination = std::move(folder);
    m_warning.clear();
    m_step = Step::pickOffsite;
    emit changed();
}

std::optional<QString> WelcomeModel::destinationRefusal(const fs::path& folder) const
{
    if (!m_source)
        return std::nullopt;
    return m_checks.destinationRefusal({*m_source}, folder,
                                       DestinationChecks::newPairNames({*m_source}, folder, m_configStore.pairs()));
}

std::optional<QString> WelcomeModel::offsiteRefusal(const fs::path& folder) const
{
    if (!m_source || !m_destination)
        return std::nullopt;
    return DestinationChecks::offsiteRefusal({*m_source}, *m_destination, folder);
}

bool WelcomeModel::acceptDestination(const fs::path& folder)
{
    if (const auto refusal = destinationRefusal(folder)) {
        setWarning(*refusal);
        return false;
    }
    for (const FolderAlert& alert : m_checks.destinationAlerts(folder))
        if (!m_prompts.confirm(alert))
            return false;
    return true;
}

void WelcomeModel::chooseOffsiteFolder(const std::optional<fs::path>& start)
{
    auto folder = chooseOne({QStringLiteral("Choose Offsite Folder"),
                             QStringLiteral("Choose or create a folder in your cloud storage"),
                             start ? start : platform::homeFolder(), false, true});
    if (!folder || !acceptOffsite(*folder))
        return;
    m_offsite = std::move(folder);
    m_warning.clear();
    m_step = Step::confirm;
    emit changed();
}

bool WelcomeModel::acceptOffsite(const fs::path& folder)
{
    if (const auto refusal = offsiteRefusal(folder)) {
        setWarning(*refusal);
        return false;
    }
    if (const auto alert = m_checks.systemDiskAlert(folder))
        return m_prompts.confirm(*alert);
    return true;
}

void WelcomeModel::clearOffsite()
{
    if (!m_offsite)
        return;
    m_offsite.reset();
    emit changed();
}

std::vector<CloudSyncDetector::AvailableProvider> WelcomeModel::cloudFolders() const
{
    return m_checks.detector().availableProviders();
}

bool WelcomeModel::canContinue() const
{
    switch (m_step) {
    case Step::pickSource:
        return m_source.has_value();
    case Step::pickDestination:
        return m_destination.has_value();
    case Step::pickOffsite:
        return true;
    case Step::confirm:
        return m_source && m_destination;
    }
    return false;
}

QString WelcomeModel::primaryButtonTitle() const
{
    return m_step == Step::confirm ? QStringLiteral("Start Backing Up") : QStringLiteral("Next");
}

void WelcomeModel::advance()
{
    if (!canContinue())
        return;
    switch (m_step) {
    case Step::pickSource:
        setStep(Step::pickDestination);
        break;
    case Step::pickDestination:
        setStep(Step::pickOffsite);
        break;
    case Step::pickOffsite:
        setStep(Step::confirm);
        break;
    case Step::confirm:
        finish();
        break;
    }
}

void WelcomeModel::goBack()
{
    if (m_step != Step::pickSource)
        setStep(Step(int(m_step) - 1));
}

void WelcomeModel::finish()
{
    platform::requireMainThread("WelcomeModel::finish");
    if (!m_source || !m_destination)
        return;
    // The source may have changed after the folders were taken, the drive filled up or gone read-only.
    if (const auto refusal = destinationRefusal(*m_destination)) {
        setWarning(*refusal);
        return;
    }
    if (m_offsite) {
        if (const auto refusal = offsiteRefusal(*m_offsite)) {
            setWarning(*refusal);
            return;
        }
    }

    BackupPair pair;
    pair.id = QUuid::createUuid();
    pair.name = DestinationChecks::newPairNames({*m_source}, *m_destination, m_configStore.pairs()).front();
    pair.sourceURL = *m_source;
    pair.destinationURL = *m_destination;
    pair.isEnabled = true;
    pair.createdAt = QDateTime::currentDateTimeUtc();
    pair.profile = BackupProfile::standard;
    QString error;
    if (auto bookmark = m_statusManager.bookmarks().create(*m_source, &error))
        pair.sourceBookmark = std::move(bookmark);
    else
        qCCritical(lcBookmark).noquote() << QStringLiteral("Could not create source bookmark: %1").arg(error);
    if (auto bookmark = m_statusManager.bookmarks().create(*m_destination, &error))
        pair.destinationBookmark = std::move(bookmark);
    else
        qCCritical(lcBookmark).noquote() << QStringLiteral("Could not create destination bookmark: %1").arg(error);
    if (m_offsite) {
        pair.offsiteURL = *m_offsite;
        if (auto bookmark = m_statusManager.bookmarks().create(*m_offsite, &error))
            pair.offsiteBookmark = std::move(bookmark);
        else
            qCCritical(lcBookmark).noquote() << QStringLiteral("Could not create offsite bookmark: %1").arg(error);
    }
    m_statusManager.addPair(pair);
    AppConfig config = m_configStore.appConfig();
    config.hasCompletedOnboarding = true;
    m_configStore.setAppConfig(config);
    m_configStore.save();
    emit completed();
}

} // namespace larkfold
