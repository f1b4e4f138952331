#include "filing/ProjectInspection.h"

#include "filing/FilingText.h"

namespace larkfold {
namespace {

QString problemText(ProjectNameProblem problem)
{
    switch (problem) {
    case ProjectNameProblem::surroundingWhitespace:
        return QStringLiteral("This name starts or ends with a space, which is invisible and easy to trip over later.");
    case ProjectNameProblem::repeatedSpaces:
        return QStringLiteral("This name has double spaces in it.");
    case ProjectNameProblem::awkwardCharacters:
        return QStringLiteral("This name has characters that some apps handle badly, like : or /.");
    }
    return {};
}

} // namespace

QStringList ProjectInspection::warnings() const
{
    QStringList texts;
    if (finalsAreEmpty)
        texts << QStringLiteral("There's nothing in the finals folder. This project may not be finished yet.");
    if (!looseFilesAtRoot.isEmpty())
        texts << filesAre(looseFilesAtRoot.size())
                + QStringLiteral(" sitting loose at the top instead of in one of the numbered folders.");
    if (!missingFolders.isEmpty())
        texts << QStringLiteral("Missing ") + missingFolders.join(QStringLiteral(", ")) + u'.';
    for (const ProjectNameProblem problem : nameProblems)
        texts << problemText(problem);
    return texts;
}

} // namespace larkfold
