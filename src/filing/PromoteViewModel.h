#pragma once

#include "filing/ProjectFiler.h"
#include "filing/ProjectInspection.h"
#include "filing/ProjectInspector.h"
#include "filing/ProjectSlimmer.h"

#include <QByteArray>
#include <QDate>
#include <QObject>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <thread>

namespace larkfold::platform {
class Bookmarks;
class Trash;
} // namespace larkfold::platform

namespace larkfold {

// The state of the "File a Finished Project" window and what its controls do, from one opening of
// the window on; it outlives the window while a filing it started runs. Lives on the main thread.
// Filing runs on a worker thread; its progress and outcome come back as queued calls that a
// model already gone never receives. Every setter notifies only on a real change, except that
// `outcomeChanged` follows every assignment.
class PromoteViewModel : public QObject {
    Q_OBJECT
public:
    enum class Step { choose, review, filing, finished };
    Q_ENUM(Step)

    // The machine's file system, mounts, Trash and bookmarks.
    explicit PromoteViewModel(QDate today, QObject* parent = nullptr);
    // With the services tests hand in; they must outlive the model.
    PromoteViewModel(QDate today, ProjectFiler filer, const platform::Trash& trash, const platform::Bookmarks& bookmarks,
                     QObject* parent = nullptr);
    // Stops a filing still running (between files) and waits for it.
    ~PromoteViewModel() override;

    Step step() const { return m_step; }
    const std::optional<std::filesystem::path>& project() const { return m_project; }
    const std::optional<ProjectInspection>& inspection() const { return m_inspection; }
    const std::optional<ProjectSlimmer::Report>& rebuildable() const { return m_rebuildable; }
    const std::optional<ProjectFiler::Outcome>& outcome() const { return m_outcome; }
    const std::optional<std::filesystem::path>& archiveRoot() const { return m_archiveRoot; }
    int year() const { return m_year; }
    const QString& name() const { return m_name; }
    bool removeRebuildable() const { return m_removeRebuildable; }
    double progress() const { return m_progress; }
    const QString& progressLabel() const { return m_progressLabel; }
    QDate today() const { return m_today; }

    // The folder holding the year folders; its bookmark is made now, while it is surely there.
    void setArchiveRoot(const std::filesystem::path& folder);
    void setYear(int year);
    void setName(const QString& name);
    void setRemoveRebuildable(bool remove);

    // Inspects the chosen project, proposes its name and year, finds its rebuildable folders and
    // moves to the review. Ignored while a filing runs.
    void choose(const std::filesystem::path& project);
    // A project and an archive folder are chosen and the name, trimmed, can name a folder.
    bool canFile() const;
    // archive/year/name as typed; empty without an archive folder.
    QString destinationPath() const;
    // Starts filing when it may (canFile, and no filing running): moves to the filing step at
    // once and to the finished step when the work is done.
    void file();
    // Back to choosing a project, keeping the archive folder. Ignored while a filing runs.
    void reset();
    bool isFiling() const { return m_step == Step::filing; }

    // A year typed into the window: a whole number from 1990 to 2100, else none.
    static std::optional<int> yearFromText(const QString& text);

signals:
    void stepChanged();
    void projectChanged();
    void inspectionChanged();
    void rebuildableChanged();
    void outcomeChanged();
    void archiveRootChanged();
    void yearChanged();
    void nameChanged();
    void removeRebuildableChanged();
    void progressChanged();
    void progressLabelChanged();

private:
    void setStep(Step step);
    void setProject(std::optional<std::filesystem::path> project);
    void setInspection(std::optional<ProjectInspection> inspection);
    void setRebuildable(std::optional<ProjectSlimmer::Report> report);
    void setOutcome(std::optional<ProjectFiler::Outcome> outcome);
    void setProgress(double progress);
    void setProgressLabel(const QString& label);

    void applyProgress(std::uint64_t run, double fraction, const QString& label);
    void finishFiling(std::uint64_t run, const ProjectFiler::Outcome& outcome);

    const QDate m_today;
    const ProjectInspector m_inspector;
    const ProjectFiler m_filer;
    const ProjectSlimmer m_slimmer;
    const platform::Bookmarks& m_bookmarks;

    Step m_step = Step::choose;
    std::optional<std::filesystem::path> m_project;
    std::optional<ProjectInspection> m_inspection;
    std::optional<ProjectSlimmer::Report> m_rebuildable;
    std::optional<ProjectFiler::Outcome> m_outcome;
    std::optional<std::filesystem::path> m_archiveRoot;
    std::optional<QByteArray> m_archiveBookmark;
    int m_year = 0;
    QString m_name;
    bool m_removeRebuildable = false;
    double m_progress = 0.0;
    QString m_progressLabel;

    // Which filing the queued reports belong to.
    std::uint64_t m_run = 0;
    std::jthread m_worker;
};

} // namespace larkfold
