#include "setup/ProfileSuggestionModel.h"

#include "platform/ByteCount.h"
#include "store/ConfigStore.h"
#include "store/StoredEnum.h"

#include <algorithm>
#include <string>
#include <vector>

namespace larkfold {
namespace {

constexpr qsizetype kListedExclusionCount = 10;

// Byte order of UTF-8 is code-point order, so upper case sorts before lower case and "." before letters.
std::vector<std::string> sorted(const NameSet& set)
{
    std::vector<std::string> items(set.begin(), set.end());
    std::sort(items.begin(), items.end());
    return items;
}

// The profile's own names first, then the file systems' folders every profile skips: most of
// those belong to another platform's drives and would otherwise fill the first places.
std::vector<std::string> ownNamesFirst(const NameSet& set)
{
    std::vector<std::string> items = sorted(set);
    std::stable_partition(items.begin(), items.end(), [](const std::string& name) { return !isSystemExclusionName(name); });
    return items;
}

QStringList firstListed(const std::vector<std::string>& items, const QString& prefix)
{
    QStringList listed;
    const auto count = std::min<std::size_t>(items.size(), kListedExclusionCount);
    for (std::size_t i = 0; i < count; ++i)
        listed << prefix + QString::fromUtf8(items[i].data(), qsizetype(items[i].size()));
    return listed;
}

} // namespace

ProfileSuggestionModel::ProfileSuggestionModel(BackupProfile recommended, QString pairName, qint64 totalBytes,
                                               std::function<void()> onAccept, std::function<void()> onDecline,
                                               QObject* parent)
    : QObject(parent)
    , m_recommended(recommended)
    , m_pairName(std::move(pairName))
    , m_totalBytes(totalBytes)
    , m_onAccept(std::move(onAccept))
    , m_onDecline(std::move(onDecline))
{
}

QString ProfileSuggestionModel::sizeText() const
{
    return platform::formatByteCount(m_totalBytes);
}

QString ProfileSuggestionModel::acceptTitle() const
{
    return m_recommended == BackupProfile::standard ? QStringLiteral("OK") : QStringLiteral("Set it up");
}

QString ProfileSuggestionModel::declineTitle()
{
    return QStringLiteral("Use defaults");
}

QString ProfileSuggestionModel::changeSectionTitle()
{
    return QStringLiteral("What does this change?");
}

QString ProfileSuggestionModel::technicalDetailsTitle() const
{
    return m_showTechnicalDetails ? QStringLiteral("Hide technical details") : QStringLiteral("Show technical details");
}

void ProfileSuggestionModel::setShowWhatThisChanges(bool show)
{
    if (m_showWhatThisChanges == show)
        return;
    m_showWhatThisChanges = show;
    emit showWhatThisChangesChanged(show);
}

void ProfileSuggestionModel::setShowTechnicalDetails(bool show)
{
    if (m_showTechnicalDetails == show)
        return;
    m_showTechnicalDetails = show;
    emit showTechnicalDetailsChanged(show);
}

void ProfileSuggestionModel::accept()
{
    if (m_onAccept)
        m_onAccept();
}

void ProfileSuggestionModel::decline()
{
    if (m_onDecline)
        m_onDecline();
}

QString ProfileSuggestionModel::symbolName(BackupProfile profile)
{
    switch (profile) {
    case BackupProfile::standard: return QStringLiteral("folder");
    case BackupProfile::film: return QStringLiteral("film");
    case BackupProfile::photography: return QStringLiteral("photo.stack");
    case BackupProfile::music: return QStringLiteral("music.note");
    case BackupProfile::developer: return QStringLiteral("chevron.left.forwardslash.chevron.right");
    case BackupProfile::documents: return QStringLiteral("doc.text");
    }
    return QStringLiteral("folder");
}

QString ProfileSuggestionModel::headline(BackupProfile profile, const QString& pairName)
{
    switch (profile) {
    case BackupProfile::standard: return QStringLiteral("Ready to back up \"") + pairName + QStringLiteral(".\"");
    case BackupProfile::film: return QStringLiteral("Looks like a film project.");
    case BackupProfile::photography: return QStringLiteral("Looks like a photo library.");
    case BackupProfile::music: return QStringLiteral("Looks like a music project.");
    case BackupProfile::developer: return QStringLiteral("Looks like a code project.");
    case BackupProfile::documents: return QStringLiteral("Looks like documents.");
    }
    return {};
}

QString ProfileSuggestionModel::profileDescription(BackupProfile profile)
{
    switch (profile) {
    case BackupProfile::standard: return QStringLiteral("Backs up everything in this folder normally.");
    case BackupProfile::film:
        return QStringLiteral("Optimised for video work — handles project libraries as a unit and skips files your "
                              "apps recreate automatically.");
    case BackupProfile::photography:
        return QStringLiteral("Optimised for photo libraries — keeps your catalog intact and skips preview thumbnails.");
    case BackupProfile::music:
        return QStringLiteral("Optimised for music projects — handles your sessions as a unit and skips freeze files.");
    case BackupProfile::developer:
        return QStringLiteral("Optimised for code projects — skips dependencies and build files that get rebuilt "
                              "anyway.");
    case BackupProfile::documents: return QStringLiteral("Standard backup behavior for documents and files.");
    }
    return {};
}

QStringList ProfileSuggestionModel::changeBullets(BackupProfile profile)
{
    switch (profile) {
    case BackupProfile::standard:
    case BackupProfile::documents:
        return {QStringLiteral("Normal backup — every file in this folder is included.")};
    case BackupProfile::film:
        return {QStringLiteral("Backs up your DaVinci Resolve projects as one whole thing instead of going through "
                               "them piece by piece — much faster."),
                QStringLiteral("Skips files your apps automatically recreate, like render previews and proxy media."),
                QStringLiteral("Picks up where it left off if a big video gets interrupted, instead of starting over.")};
    case BackupProfile::photography:
        return {QStringLiteral("Backs up your Photos library and Lightroom catalog as whole units, so a 200,000-photo "
                               "library doesn't have to be checked one image at a time."),
                QStringLiteral("Skips preview thumbnails and other files your apps regenerate automatically.")};
    case BackupProfile::music:
        return {QStringLiteral("Backs up your Logic and GarageBand projects as whole units instead of going through "
                               "every internal file."),
                QStringLiteral("Skips freeze files and other bounces that get recreated automatically.")};
    case BackupProfile::developer:
        return {QStringLiteral("Skips dependency folders like node_modules and build outputs that get rebuilt anyway."),
                QStringLiteral("Cuts down on hundreds of thousands of tiny files that don't need to be in a backup.")};
    }
    return {};
}

QStringList ProfileSuggestionModel::technicalLines(BackupProfile profile)
{
    return technicalLines(profile, exclusions(profile));
}

QStringList ProfileSuggestionModel::technicalLines(BackupProfile profile, const ProfileExclusions& excluded)
{
    const std::string_view name = storedString(profile);
    QStringList lines{QStringLiteral("Profile: ") + QString::fromLatin1(name.data(), qsizetype(name.size()))};
    if (profile == BackupProfile::standard)
        return lines;

    const std::vector<std::string> names = ownNamesFirst(excluded.names);
    if (!names.empty()) {
        QString line = QStringLiteral("Excluded folders: ") + firstListed(names, {}).join(QStringLiteral(", "));
        if (names.size() > std::size_t(kListedExclusionCount))
            line += QStringLiteral(" (+%1 more)").arg(names.size() - std::size_t(kListedExclusionCount));
        lines << line;
    }
    const std::vector<std::string> extensions = sorted(excluded.extensions);
    if (!extensions.empty())
        lines << QStringLiteral("Excluded extensions: ")
                + firstListed(extensions, QStringLiteral(".")).join(QStringLiteral(", "));
    return lines;
}

bool ProfileSuggestionModel::applySuggestion(ConfigStore& store, const QUuid& pairId, BackupProfile profile)
{
    const auto& pairs = store.pairs();
    const auto found = std::find_if(pairs.begin(), pairs.end(), [&](const BackupPair& pair) { return pair.id == pairId; });
    if (found == pairs.end())
        return false;
    BackupPair pair = *found;
    pair.profile = profile;
    pair.didSuggestProfile = true;
    store.updatePair(pair);
    return true;
}

} // namespace larkfold
