#include "filing/ProjectInspector.h"

#include "filing/FilingText.h"

#include <QRegularExpression>

namespace larkfold {
namespace {

namespace fs = std::filesystem;

constexpr int kFirstSuggestedYear = 2015;
constexpr int kLastSuggestedYear = 2040;
constexpr int kSeasonCentury = 2000;

constexpr QRegularExpression::PatternOptions kUnicode = QRegularExpression::UseUnicodePropertiesOption;
constexpr QRegularExpression::PatternOptions kUnicodeIgnoringCase =
    QRegularExpression::UseUnicodePropertiesOption | QRegularExpression::CaseInsensitiveOption;

// Only the first match counts; a capture that is no number counts as no match.
std::optional<int> firstCapturedNumber(const QRegularExpression& pattern, const QString& text)
{
    if (!pattern.isValid())
        return std::nullopt;
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    bool converted = false;
    const int number = match.captured(1).toInt(&converted);
    return converted ? std::optional<int>(number) : std::nullopt;
}

bool isSuggestableYear(int year)
{
    return year >= kFirstSuggestedYear && year <= kLastSuggestedYear;
}

QString nameText(const fs::path& path)
{
    return pathText(path.filename());
}

} // namespace

ProjectInspector::ProjectInspector() : m_clutterFilter(ExclusionFilter::forProfile(BackupProfile::standard)) {}

ProjectInspection ProjectInspector::inspect(const fs::path& folder) const
{
    ProjectInspection inspection;
    inspection.name = nameText(folder);
    for (const std::string_view expected : kExpectedProjectFolders) {
        std::error_code error;
        if (!fs::is_directory(folder / expected, error))
            inspection.missingFolders << QString::fromUtf8(expected.data(), qsizetype(expected.size()));
    }
    inspection.tidiedName = tidiedName(inspection.name);
    inspection.nameProblems = nameProblems(inspection.name);
    inspection.looseFilesAtRoot = looseFiles(folder);
    inspection.finalsAreEmpty = finalsAreEmpty(folder);
    inspection.suggestedYear = suggestedYear(inspection.name);
    return inspection;
}

QStringList ProjectInspector::looseFiles(const fs::path& folder) const
{
    QStringList names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        // Links are not followed: a link to a folder lies loose like a file.
        const bool isDirectory = it->symlink_status(typeError).type() == fs::file_type::directory;
        if (isDirectory)
            continue;
        const std::string name = it->path().filename().native();
        if (name.starts_with('.') || m_clutterFilter.shouldExclude(name, false))
            continue;
        names << nameText(it->path());
    }
    return names;
}

bool ProjectInspector::finalsAreEmpty(const fs::path& folder) const
{
    std::error_code error;
    for (fs::directory_iterator it(folder / kFinalsFolder, error), end; !error && it != end; it.increment(error)) {
        if (!m_clutterFilter.shouldExclude(it->path().filename().native(), false))
            return false;
    }
    return true;
}

QString ProjectInspector::tidiedName(const QString& name)
{
    static const QRegularExpression awkward(QStringLiteral("[:/]"), kUnicode);
    static const QRegularExpression whiteSpace(QStringLiteral("\\s+"), kUnicode);
    QString tidied = name;
    tidied.replace(awkward, QStringLiteral("-"));
    tidied.replace(whiteSpace, QStringLiteral(" "));
    return trimmedSpacesAndTabs(tidied);
}

std::vector<ProjectNameProblem> ProjectInspector::nameProblems(const QString& name)
{
    static const QRegularExpression repeated(QStringLiteral("\\s{2,}"), kUnicode);
    std::vector<ProjectNameProblem> problems;
    if (trimmedSpacesAndTabs(name) != name)
        problems.push_back(ProjectNameProblem::surroundingWhitespace);
    if (repeated.match(name).hasMatch())
        problems.push_back(ProjectNameProblem::repeatedSpaces);
    if (name.contains(u':') || name.contains(u'/'))
        problems.push_back(ProjectNameProblem::awkwardCharacters);
    return problems;
}

std::optional<int> ProjectInspector::suggestedYear(const QString& name)
{
    static const QRegularExpression fullYear(QStringLiteral("\\b(20\\d{2})\\b"), kUnicodeIgnoringCase);
    // A season word or a season code with two digits: "Fall 24", "Resort25", "FW24", "SS 25".
    static const QRegularExpression seasonYearPatterns[] = {
        QRegularExpression(
            QStringLiteral("\\b(?:spring|summer|fall|autumn|winter|holiday|resort|cruise|pre-fall)\\s*(\\d{2})\\b"),
            kUnicodeIgnoringCase),
        QRegularExpression(QStringLiteral("\\b(?:sp|su|fa|fw|ss|ho|pf|cr)\\s?(\\d{2})\\b"), kUnicodeIgnoringCase),
    };
    if (const auto year = firstCapturedNumber(fullYear, name); year && isSuggestableYear(*year))
        return year;
    for (const QRegularExpression& pattern : seasonYearPatterns) {
        if (const auto digits = firstCapturedNumber(pattern, name); digits && isSuggestableYear(kSeasonCentury + *digits))
            return kSeasonCentury + *digits;
    }
    return std::nullopt;
}

} // namespace larkfold
