#pragma once

#include "copy/ExclusionFilter.h"
#include "filing/ProjectInspection.h"

#include <QString>
#include <QStringList>

#include <array>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace larkfold {

// The numbered sub-folders a finished project is expected to have, in order.
inline constexpr std::array<std::string_view, 6> kExpectedProjectFolders{
    "1 Documents", "2 Project Files", "3 Media", "4 Renders", "5 Drafts", "6 Finals"};
inline constexpr std::string_view kProjectFilesFolder = kExpectedProjectFolders[1];
inline constexpr std::string_view kFinalsFolder = kExpectedProjectFolders[5];

// Looks at one project folder without changing anything. Never fails: what cannot be read counts
// as absent or empty. Holds no mutable state.
class ProjectInspector {
public:
    // Judges clutter with the standard backup filter.
    ProjectInspector();

    ProjectInspection inspect(const std::filesystem::path& folder) const;

    // Plain files directly in the folder, in listing order, leaving out hidden names and clutter.
    QStringList looseFiles(const std::filesystem::path& folder) const;

    // ":" and "/" become "-", runs of white space one space, spaces and tabs trimmed.
    static QString tidiedName(const QString& name);
    static std::vector<ProjectNameProblem> nameProblems(const QString& name);
    // A year from 2015 to 2040 that the name mentions: "2024", or a season such as "FW24".
    static std::optional<int> suggestedYear(const QString& name);

    const ExclusionFilter& clutterFilter() const { return m_clutterFilter; }

private:
    bool finalsAreEmpty(const std::filesystem::path& folder) const;

    ExclusionFilter m_clutterFilter;
};

} // namespace larkfold
