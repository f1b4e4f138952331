#pragma once

#include "setup/CloudSyncDetector.h"
#include "setup/DestinationChecks.h"
#include "setup/SetupPrompts.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <filesystem>
#include <optional>

namespace larkfold {

class ConfigStore;
class StatusManager;

// The first-run window's state: four steps to the first backup pair. Nothing is stored until
// finish(); closing the window earlier leaves everything as it was. Main thread only.
class WelcomeModel : public QObject {
    Q_OBJECT

public:
    enum class Step { pickSource, pickDestination, pickOffsite, confirm };
    static constexpr int kStepCount = 4;

    // All must outlive the model. The folder checks use the coordinator's mount table, the
    // cloud folders `detector`'s home folder.
    WelcomeModel(StatusManager& statusManager, ConfigStore& configStore, SetupPrompts& prompts,
                 CloudSyncDetector detector = CloudSyncDetector(), QObject* parent = nullptr);

    Step step() const { return m_step; }
    void setStep(Step step);
    // 1 to 4.
    static int stepNumber(Step step) { return int(step) + 1; }
    static QString subtitle(Step step);
    QString counterText() const;

    const std::optional<std::filesystem::path>& source() const { return m_source; }
    const std::optional<std::filesystem::path>& destination() const { return m_destination; }
    const std::optional<std::filesystem::path>& offsite() const { return m_offsite; }

    // The source panel, in the home folder; the step stays.
    void chooseSourceFolder();
    // Dropped items: the first local file URL is taken when it is a folder. False when none of
    // them is a local file.
    bool handleDrop(const QList<QUrl>& urls);
    void clearSource();
    // The destination panel, opened at `start` (a volume) or where drives are mounted; a folder
    // that passes the checks becomes the destination and the offsite step follows.
    void chooseDestinationFolder(const std::optional<std::filesystem::path>& start = std::nullopt);
    // The offsite panel, opened at `start` (a cloud folder) or the home folder; a folder taken
    // leads to the review.
    void chooseOffsiteFolder(const std::optional<std::filesystem::path>& start = std::nullopt);
    void clearOffsite();

    // Why the folder last chosen was not taken (it is nested with the source, or no backup can
    // work there); empty otherwise.
    const QString& warning() const { return m_warning; }

    // The cloud folders present, to offer as offsite places.
    std::vector<CloudSyncDetector::AvailableProvider> cloudFolders() const;

    bool canContinue() const;
    bool showsBack() const { return m_step != Step::pickSource; }
    QString primaryButtonTitle() const;
    void advance();
    void goBack();

    // Creates the pair with its bookmarks, hands it to the coordinator, marks onboarding done and
    // saves; then completed(). Refuses, and stays, when the folders are nested after all.
    void finish();

signals:
    void changed();
    void completed();

private:
    void setSource(std::optional<std::filesystem::path> source);
    std::optional<std::filesystem::path> chooseOne(const FolderPanel& panel);
    void setWarning(const QString& warning);
    // Why the folder cannot be taken; none without a source (or a destination) to check it against.
    std::optional<QString> destinationRefusal(const std::filesystem::path& folder) const;
    std::optional<QString> offsiteRefusal(const std::filesystem::path& folder) const;
    // Says why not (warning()), or asks the alerts' questions; true when the folder may be taken.
    bool acceptDestination(const std::filesystem::path& folder);
    bool acceptOffsite(const std::filesystem::path& folder);

    StatusManager& m_statusManager;
    ConfigStore& m_configStore;
    SetupPrompts& m_prompts;
    DestinationChecks m_checks;
    Step m_step = Step::pickSource;
    std::optional<std::filesystem::path> m_source;
    std::optional<std::filesystem::path> m_destination;
    std::optional<std::filesystem::path> m_offsite;
    QString m_warning;
};

} // namespace larkfold
