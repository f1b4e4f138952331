#pragma once

#include "copy/ExclusionFilter.h"
#include "filing/ProjectCheckResult.h"
#include "filing/ProjectManifest.h"
#include "platform/CancelToken.h"
#include "platform/FileSystem.h"

#include <QDateTime>
#include <QString>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace larkfold {

// The manifest's file, directly inside the filed copy.
inline constexpr std::string_view kManifestFileName = ".larkfold-manifest.json";

// Records what a project folder holds, writes that record into the filed copy and checks a copy
// against it. Synchronous; safe on any thread.
class ProjectManifestWriter {
public:
    explicit ProjectManifestWriter(platform::FileSystem& fileSystem = platform::systemFileSystem());

    // What filing leaves out of a project, in the manifest and in the copy alike: desktop clutter
    // files (".DS_Store", "Thumbs.db", ...) and Larkfold's own files and trash folder. Never a
    // folder of the project, so what the copy lacks is only what nobody would miss.
    static const ExclusionFilter& clutterFilter();

    // Every regular file below `folder` with its size, links not followed, clutter left out, and
    // in `leftOut` what else the project holds that filing does not copy (links, special files,
    // empty folders, ".Larkfold-Trash" folders, folders it could not read). Never fails. A
    // cancel ends the walk early.
    ProjectManifest makeManifest(const std::filesystem::path& folder, const QString& name, const QDateTime& archivedAt,
                                 const platform::CancelToken& cancel = {}) const;

    // The manifest's JSON bytes: pretty-printed, sorted keys; none, with the reason in `error`,
    // when a path is not valid UTF-8 and so cannot be written as text without changing it.
    static std::optional<std::string> encode(const ProjectManifest& manifest, QString* error = nullptr);

    // Writes the manifest atomically into `folder`; returns the reason when it could not.
    std::optional<QString> write(const ProjectManifest& manifest, const std::filesystem::path& folder) const;

    // Called with the fraction of the bytes checked and the name of the file being read.
    using ProgressCallback = std::function<void(double fraction, const QString& label)>;

    // Compares the copy in `folder`, walked like the source, with the manifest made from the
    // source, and the content of each file there with the right size with the original's in
    // `original` as it is now, by SHA-256: each side is read once and the digests stay in memory.
    ProjectCheckResult check(const std::filesystem::path& folder, const ProjectManifest& manifest,
                             const std::filesystem::path& original, const platform::CancelToken& cancel = {},
                             const ProgressCallback& progress = {}) const;

private:
    platform::FileSystem& m_fileSystem;
};

} // namespace larkfold
