#pragma once

#include "copy/FileCopier.h"
#include "filing/ProjectCheckResult.h"
#include "filing/ProjectManifestWriter.h"
#include "platform/CancelToken.h"
#include "platform/FileSystem.h"
#include "platform/MountSource.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <filesystem>
#include <optional>

namespace larkfold::platform {
class RunningApplications;
}

namespace larkfold {

// Files one finished project into the archive as archive/year/name: a manifest of the source,
// a copy by the copy engine, the manifest written into the copy and the copy checked against it.
// The source is never changed. Every failure is a text in the outcome; nothing throws. Holds no
// state between calls; `file` blocks, so callers run it on a worker thread.
class ProjectFiler {
public:
    struct Plan {
        std::filesystem::path source;
        std::filesystem::path destination; // archive/year/name, the folder to create
        int year = 0;
        QString name; // the filed name, also the manifest's
        // The archive folder's bookmark, made when the user chose it; decides whether its drive is there.
        std::optional<QByteArray> archiveBookmark;

        // The folder holding the year folders.
        std::filesystem::path archiveRoot() const { return destination.parent_path().parent_path(); }

        bool operator==(const Plan&) const = default;
    };

    struct Outcome {
        Plan plan;
        qsizetype filesCopied = 0;     // entries of the source's manifest; 0 when filing stopped before the copy
        std::int64_t bytesCopied = 0;  // what the copy engine wrote
        std::optional<ProjectCheckResult> check; // only when the copy ran to its end
        QStringList problems;          // what went wrong, for the user; empty when nothing did
        std::vector<LeftOutItem> leftOut; // what the project holds that was not filed

        // Copied and checked: no problem, and every listed file there with its size and content.
        bool isFiled() const;
        // The outcome in one or two sentences; "safe to clear" only when nothing was left out.
        QString summary() const;
        // One line per item left out: its path and what it is.
        QStringList leftOutLines() const;

        bool operator==(const Outcome&) const = default;
    };

    // Fraction done (0 to 1) and the name of the file being copied, from the copying thread.
    using ProgressCallback = FileCopier::ProgressCallback;

    // `applications`: the processes the copy engine's editor check reads; none for the machine's.
    explicit ProjectFiler(platform::FileSystem& fileSystem = platform::systemFileSystem(),
                          const platform::MountSource& mounts = platform::systemMountSource(),
                          platform::RunningApplications* applications = nullptr);

    // Why the plan cannot be filed, found before anything is created, copied or trashed: the
    // source is gone, the name cannot be a folder's, the archive folder is not there or its drive
    // is not, the archive and the project lie inside one another, or something is filed there already.
    std::optional<QString> refusal(const Plan& plan) const;

    // The first step of filing, before anything else may change: refusal() and then the year and
    // project folders made, so a filing that cannot have its folders stops here. What failed, or none.
    std::optional<QString> prepare(const Plan& plan) const;

    // Files the project (its first step, prepare(), again included). A cancel stops the copy
    // between files; its outcome then shows what is missing.
    Outcome file(const Plan& plan, const ProgressCallback& progress, const platform::CancelToken& cancel = {}) const;

    // Whether a name can be a folder's own: not empty, not "." or "..", no "/" or NUL in it.
    static bool isUsableName(const QString& name);

    // The outcome of a plan that stopped before anything was done.
    static Outcome stopped(const Plan& plan, const QString& problem);

private:
    // Makes the year folder when it is missing, then the project's folder.
    std::optional<QString> createDestination(const Plan& plan) const;

    platform::FileSystem& m_fileSystem;
    const platform::MountSource& m_mounts;
    ProjectManifestWriter m_manifests;
    FileCopier m_copier;
};

} // namespace larkfold
