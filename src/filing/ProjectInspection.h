#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace larkfold {

// What can be wrong with a project folder's name, in the order the warnings list them.
enum class ProjectNameProblem { surroundingWhitespace, repeatedSpaces, awkwardCharacters };

// What a project folder looks like before it is filed. None of it stops a filing.
struct ProjectInspection {
    QString name;        // the folder's own name, unchanged
    QString tidiedName;  // the name proposed for filing
    std::vector<ProjectNameProblem> nameProblems;
    QStringList missingFolders;   // numbered folders that are not there, in layout order
    QStringList looseFilesAtRoot; // plain files at the top, in listing order
    bool finalsAreEmpty = false;  // "6 Finals" holds nothing but clutter
    std::optional<int> suggestedYear;

    // The texts shown under "Worth a look first", in their fixed order.
    QStringList warnings() const;

    bool operator==(const ProjectInspection&) const = default;
};

} // namespace larkfold
