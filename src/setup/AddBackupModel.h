#pragma once

#include "setup/CloudSyncDetector.h"
#include "setup/DestinationChecks.h"
#include "shell/VolumeMonitor.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <filesystem>
#include <optional>
#include <vector>

namespace larkfold {

class SetupPrompts;
class StatusManager;

// What the add-a-backup sheet decides: its step, the folders chosen so far, the checks on them,
// and the pairs it finally creates, one per source folder. One presentation of the sheet; a new
// one starts from scratch. Main thread only.
class AddBackupModel : public QObject {
    Q_OBJECT

public:
    enum class Step { chooseSource, chooseDestination, chooseOffsite, confirm };
    Q_ENUM(Step)

    // The coordinator and the prompts must outlive the model.
    AddBackupModel(StatusManager& statusManager, SetupPrompts& prompts, QObject* parent = nullptr);

    Step step() const { return m_step; }
    const std::vector<std::filesystem::path>& sourceURLs() const { return m_sourceURLs; }
    const std::optional<std::filesystem::path>& destinationURL() const { return m_destinationURL; }
    const std::optional<std::filesystem::path>& offsiteURL() const { return m_offsiteURL; }
    // Why the chosen destination cannot be taken; the sheet stays on its step meanwhile.
    const std::optional<QString>& validationWarning() const { return m_validationWarning; }
    // Why the chosen offsite folder cannot be taken.
    const std::optional<QString>& offsiteWarning() const { return m_offsiteWarning; }

    // The destinations of the stored pairs that are not a mounted volume's top folder, each once
    // (by standardised path), in stored order, as stored.
    std::vector<std::filesystem::path> earlierDestinations() const;
    const std::vector<VolumeMonitor::VolumeInfo>& mountedVolumes() const;
    // The cloud folders present, read when the offsite step was entered.
    const std::vector<CloudSyncDetector::AvailableProvider>& cloudFolders() const { return m_cloudFolders; }
    // Whether a row of `folder` shows as the chosen destination or offsite folder.
    bool isChosenDestination(const std::filesystem::path& folder) const;
    bool isChosenOffsite(const std::filesystem::path& folder) const;

    // The header's back button: closes the sheet on the first step, else goes one step back,
    // forgetting what that step chose.
    void goBack();
    // The open panel for the folders to back up, in the home folder; a confirmed choice replaces the earlier one.
    void chooseSourceFolders();
    // Folders dropped on the drop zone (file URLs); other items are ignored. Accepted (true)
    // whenever something was dropped on the source step, even when no folder was among it.
    bool handleDrop(const QList<QUrl>& urls);
    // The destination panel, in `startingFolder` or else where the user's drives are mounted.
    void chooseDestinationFolder(const std::optional<std::filesystem::path>& startingFolder = std::nullopt);
    // Takes `folder` as the destination once its alerts are answered with their continue button;
    // moves on unless it is refused (nested with a source, or a place no backup can work).
    void selectDestination(const std::filesystem::path& folder);
    // The offsite panel, in `startingFolder` or else the home folder.
    void chooseOffsiteFolder(const std::optional<std::filesystem::path>& startingFolder = std::nullopt);
    // Takes `folder` as the offsite folder unless the user turns it down or it is refused (nested
    // with a source or with the destination's "Larkfold" folder).
    void selectOffsite(const std::filesystem::path& folder);
    void skipOffsite();
    // Creates and hands to the coordinator one pair per source, in order, each with its own
    // bookmarks and a folder name no other pair at the destination has; then the sheet is done.
    void addBackups();

    // Texts of the sheet.
    static QString title(Step step);
    static QString backButtonLabel(Step step);
    static QString summarySentence(int sourceCount);
    static QString addButtonLabel(int sourceCount);
    static QString offsiteLine(const std::filesystem::path& offsite);
    // A folder's name and path as shown: bytes that are not text stay readable.
    static QString folderName(const std::filesystem::path& folder);
    static QString pathText(const std::filesystem::path& path);

signals:
    void stepChanged();
    void sourceURLsChanged();
    void destinationURLChanged();
    void offsiteURLChanged();
    void validationWarningChanged();
    void offsiteWarningChanged();
    // The stored pairs or the mounted volumes changed: the destination list is drawn again.
    void destinationChoicesChanged();
    // The pairs were created; the sheet closes.
    void finished();
    // The user left the sheet without creating anything.
    void cancelled();

private:
    void setStep(Step step);
    void setSourceURLs(std::vector<std::filesystem::path> sources);
    void setDestinationURL(std::optional<std::filesystem::path> destination);
    void setOffsiteURL(std::optional<std::filesystem::path> offsite);
    void setValidationWarning(std::optional<QString> warning);
    void setOffsiteWarning(std::optional<QString> warning);
    // A bookmark of `folder`, or none, logged, when it cannot be made.
    std::optional<QByteArray> makeBookmark(const std::filesystem::path& folder, const char* role) const;
    void enterOffsiteStep();

    StatusManager& m_statusManager;
    SetupPrompts& m_prompts;
    DestinationChecks m_checks;
    Step m_step = Step::chooseSource;
    std::vector<std::filesystem::path> m_sourceURLs;
    std::optional<std::filesystem::path> m_destinationURL;
    std::optional<std::filesystem::path> m_offsiteURL;
    std::optional<QString> m_validationWarning;
    std::optional<QString> m_offsiteWarning;
    std::vector<CloudSyncDetector::AvailableProvider> m_cloudFolders;
    bool m_done = false;
};

} // namespace larkfold
