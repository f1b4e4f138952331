#include "setup/AddBackupModel.h"

#include "platform/Bookmark.h"
#include "platform/Drives.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/Paths.h"
#include "platform/Utf8.h"
#include "setup/SetupPrompts.h"
#include "shell/StatusManager.h"
#include "store/ConfigStore.h"

#include <QDateTime>
#include <QUuid>

#include <algorithm>
#include <set>

namespace larkfold {
namespace {

namespace fs = std::filesystem;

bool isFolder(const fs::path& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

// The folders among `paths`, standardised, each once, in their order. A folder is what the file
// system says is one (links followed), whatever its name ends with.
std::vector<fs::path> foldersAmong(const std::vector<fs::path>& paths)
{
    std::vector<fs::path> folders;
    for (const fs::path& path : paths) {
        if (path.empty() || !isFolder(path))
            continue;
        fs::path folder = platform::standardized(path);
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(std::move(folder));
    }
    return folders;
}

bool isSameFolder(const std::optional<fs::path>& chosen, const fs::path& folder)
{
    return chosen && platform::standardized(*chosen) == platform::standardized(folder);
}

} // namespace

AddBackupModel::AddBackupModel(StatusManager& statusManager, SetupPrompts& prompts, QObject* parent)
    : QObject(parent), m_statusManager(statusManager), m_prompts(prompts),
      m_checks(DestinationChecks::of(statusManager))
{
    platform::requireMainThread("AddBackupModel");
    connect(&m_statusManager.configStore(), &ConfigStore::pairsChanged, this,
            &AddBackupModel::destinationChoicesChanged);
    connect(&m_statusManager.volumeMonitor(), &VolumeMonitor::mountedVolumesChanged, this,
            &AddBackupModel::destinationChoicesChanged);
}

std::vector<fs::path> AddBackupModel::earlierDestinations() const
{
    std::set<fs::path> skipped;
    for (const VolumeMonitor::VolumeInfo& volume : mountedVolumes())
        skipped.insert(platform::standardized(volume.id));
    std::vector<fs::path> destinations;
    for (const BackupPair& pair : m_statusManager.configStore().pairs()) {
        // Both a volume's own folder and a second spelling of an earlier entry are left out.
        if (skipped.insert(platform::standardized(pair.destinationURL)).second)
            destinations.push_back(pair.destinationURL);
    }
    return destinations;
}

const std::vector<VolumeMonitor::VolumeInfo>& AddBackupModel::mountedVolumes() const
{
    return m_statusManager.volumeMonitor().mountedVolumes();
}

bool AddBackupModel::isChosenDestination(const fs::path& folder) const
{
    return isSameFolder(m_destinationURL, folder);
}

bool AddBackupModel::isChosenOffsite(const fs::path& folder) const
{
    return isSameFolder(m_offsiteURL, folder);
}

void AddBackupModel::goBack()
{
    switch (m_step) {
    case Step::chooseSource:
        emit cancelled();
        return;
    case Step::chooseDestination:
        setDestinationURL(std::nullopt);
        setValidationWarning(std::nullopt);
        setStep(Step::chooseSource);
        return;
    case Step::chooseOffsite:
        setOffsiteURL(std::nullopt);
        setOffsiteWarning(std::nullopt);
        setStep(Step::chooseDestination);
        return;
    case Step::confirm:
        enterOffsiteStep();
        return;
    }
}

void AddBackupModel::chooseSourceFolders()
{
    if (m_step != Step::chooseSource)
        return;
    std::vector<fs::path> folders = foldersAmong(m_prompts.chooseFolders(
        {QStringLiteral("Choose Source"), QStringLiteral("Choose one or more folders to back up"),
         platform::homeFolder(), /*allowsMultipleSelection=*/true, /*canCreateDirectories=*/false}));
    if (folders.empty())
        return;
    setSourceURLs(std::move(folders));
    setStep(Step::chooseDestination);
}

bool AddBackupModel::handleDrop(const QList<QUrl>& urls)
{
    if (m_step != Step::chooseSource || urls.isEmpty())
        return false;
    std::vector<fs::path> paths;
    for (const QUrl& url : urls) {
        if (auto path = platform::localPathOfUrl(url))
            paths.push_back(std::move(*path));
    }
    std::vector<fs::path> folders = foldersAmong(paths);
    if (!folders.empty()) {
        setSourceURLs(std::move(folders));
        setStep(Step::chooseDestination);
    }
    return true;
}

void AddBackupModel::chooseDestinationFolder(const std::optional<fs::path>& startingFolder)
{
    const std::vector<fs::path> chosen = foldersAmong(m_prompts.chooseFolders(
        {QStringLiteral("Choose Destination"), QStringLiteral("Choose or create a folder for your backups"),
         startingFolder ? startingFolder : platform::drivesFolder(), /*allowsMultipleSelection=*/false,
         /*canCreateDirectories=*/true}));
    if (!chosen.empty())
        selectDestination(chosen.front());
}

void AddBackupModel::selectDestination(const fs::path& folder)
{
    if (m_step != Step::chooseDestination)
        return;
    for (const FolderAlert& alert : m_checks.destinationAlerts(folder)) {
        if (!m_prompts.confirm(alert))
            return;
    }
    setDestinationURL(folder);
    const std::vector<QString> names =
        DestinationChecks::newPairNames(m_sourceURLs, folder, m_statusManager.configStore().pairs());
    setValidationWarning(m_checks.destinationRefusal(m_sourceURLs, folder, names));
    if (!m_validationWarning)
        enterOffsiteStep();
}

void AddBackupModel::chooseOffsiteFolder(const std::optional<fs::path>& startingFolder)
{
    const std::vector<fs::path> chosen = foldersAmong(m_prompts.chooseFolders(
        {QStringLiteral("Choose Offsite Folder"), QStringLiteral("Choose or create a folder in your cloud storage"),
         startingFolder ? startingFolder : platform::homeFolder(), /*allowsMultipleSelection=*/false,
         /*canCreateDirectories=*/true}));
    if (!chosen.empty())
        selectOffsite(chosen.front());
}

void AddBackupModel::selectOffsite(const fs::path& folder)
{
    if (m_step != Step::chooseOffsite || !m_destinationURL)
        return;
    // A cloud folder is what the offsite copy is for; only a drive that is not there is asked about.
    if (const auto alert = m_checks.systemDiskAlert(folder); alert && !m_prompts.confirm(*alert))
        return;
    setOffsiteWarning(DestinationChecks::offsiteRefusal(m_sourceURLs, *m_destinationURL, folder));
    if (m_offsiteWarning)
        return;
    setOffsiteURL(folder);
    setStep(Step::confirm);
}

void AddBackupModel::skipOffsite()
{
    if (m_step != Step::chooseOffsite)
        return;
    setOffsiteURL(std::nullopt);
    setOffsiteWarning(std::nullopt);
    setStep(Step::confirm);
}

void AddBackupModel::addBackups()
{
    // Once only: a second press of Return while the sheet closes must not add the pairs again.
    if (m_done || !m_destinationURL || m_sourceURLs.empty())
        return;
    m_done = true;
    const std::vector<QString> names =
        DestinationChecks::newPairNames(m_sourceURLs, *m_destinationURL, m_statusManager.configStore().pairs());
    for (std::size_t i = 0; i < m_sourceURLs.size(); ++i) {
        BackupPair pair;
        pair.id = QUuid::createUuid();
        pair.name = names[i];
        pair.sourceURL = m_sourceURLs[i];
        pair.destinationURL = *m_destinationURL;
        pair.isEnabled = true;
        pair.createdAt = QDateTime::currentDateTimeUtc();
        pair.profile = BackupProfile::standard;
        // Every pair gets bookmarks of its own, also of the folders the pairs share.
        pair.sourceBookmark = makeBookmark(pair.sourceURL, "source");
        pair.destinationBookmark = makeBookmark(pair.destinationURL, "destination");
        if (m_offsiteURL) {
            pair.offsiteURL = m_offsiteURL;
            pair.offsiteBookmark = makeBookmark(*m_offsiteURL, "offsite");
        }
        m_statusManager.addPair(pair);
    }
    emit finished();
}

std::optional<QByteArray> AddBackupModel::makeBookmark(const fs::path& folder, const char* role) const
{
    QString error;
    auto bookmark = m_statusManager.bookmarks().create(folder, &error);
    if (!bookmark) {
        qCCritical(lcBookmark).noquote() << QStringLiteral("Could not create %1 bookmark for %2: %3")
                                                .arg(QLatin1String(role),
                                                     platform::privateArg(platform::lastPathComponent(folder)), error);
    }
    return bookmark;
}

void AddBackupModel::enterOffsiteStep()
{
    m_cloudFolders = m_checks.detector().availableProviders();
    setStep(Step::chooseOffsite);
}

// --- Texts ---

QString AddBackupModel::title(Step step)
{
    switch (step) {
    case Step::chooseSource:
        return QStringLiteral("Add Backup");
    case Step::chooseDestination:
        return QStringLiteral("Choose Destination");
    case Step::chooseOffsite:
        return QStringLiteral("Offsite Copy");
    case Step::confirm:
        return QStringLiteral("Confirm");
    }
    return {};
}

QString AddBackupModel::backButtonLabel(Step step)
{
    return step == Step::chooseSource ? QStringLiteral("Cancel") : QStringLiteral("Back");
}

QString AddBackupModel::summarySentence(int sourceCount)
{
    if (sourceCount == 1)
        return QStringLiteral("Larkfold will copy new and changed files automatically.");
    return QStringLiteral("Larkfold will back up %1 folders automatically.").arg(sourceCount);
}

QString AddBackupModel::addButtonLabel(int sourceCount)
{
    if (sourceCount == 1)
        return QStringLiteral("Add This Backup");
    return QStringLiteral("Add %1 Backups").arg(sourceCount);
}

QString AddBackupModel::offsiteLine(const fs::path& offsite)
{
    return QStringLiteral("Offsite copy: ") + folderName(offsite);
}

QString AddBackupModel::folderName(const fs::path& folder)
{
    return platform::readableText(platform::lastPathComponent(folder).native());
}

QString AddBackupModel::pathText(const fs::path& path)
{
    return platform::readableText(path.native());
}

// --- State ---

void AddBackupModel::setStep(Step step)
{
    if (m_step == step)
        return;
    m_step = step;
    emit stepChanged();
}

void AddBackupModel::setSourceURLs(std::vector<fs::path> sources)
{
    if (m_sourceURLs == sources)
        return;
    m_sourceURLs = std::move(sources);
    emit sourceURLsChanged();
}

void AddBackupModel::setDestinationURL(std::optional<fs::path> destination)
{
    if (m_destinationURL == destination)
        return;
    m_destinationURL = std::move(destination);
    emit destinationURLChanged();
}

void AddBackupModel::setOffsiteURL(std::optional<fs::path> offsite)
{
    if (m_offsiteURL == offsite)
        return;
    m_offsiteURL = std::move(offsite);
    emit offsiteURLChanged();
}

void AddBackupModel::setValidationWarning(std::optional<QString> warning)
{
    if (m_validationWarning == warning)
        return;
    m_validationWarning = std::move(warning);
    emit validationWarningChanged();
}

void AddBackupModel::setOffsiteWarning(std::optional<QString> warning)
{
    if (m_offsiteWarning == warning)
        return;
    m_offsiteWarning = std::move(warning);
    emit offsiteWarningChanged();
}

} // namespace larkfold
