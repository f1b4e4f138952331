#include "filing/FilingFixture.h"
#include "filing/ProjectInspector.h"

#include <gtest/gtest.h>

using namespace larkfold;
using larkfold::test::TempTree;

namespace {

QStringList warningsOf(const std::filesystem::path& folder)
{
    return ProjectInspector().inspect(folder).warnings();
}

} // namespace

TEST(ProjectInspector, AFinishedProjectGivesNoWarnings)
{
    TempTree tree;
    const auto project = test::makeProject(tree, "Brand Spot 2024");
    tree.write("Brand Spot 2024/.DS_Store", "");

    const ProjectInspection inspection = ProjectInspector().inspect(project);
    EXPECT_EQ(inspection.name, "Brand Spot 2024");
    EXPECT_EQ(inspection.tidiedName, "Brand Spot 2024");
    EXPECT_EQ(inspection.suggestedYear, 2024);
    EXPECT_FALSE(inspection.finalsAreEmpty);
    EXPECT_TRUE(inspection.warnings().isEmpty()) << inspection.warnings().join('|').toStdString();
}

TEST(ProjectInspector, WarnsInItsFixedOrder)
{
    TempTree tree{{" My  Film: Cut/", ""}};
    const auto project = tree.path(" My  Film: Cut");
    tree.write(" My  Film: Cut/notes.txt", "n");
    tree.write(" My  Film: Cut/3 Media", "a file where a folder belongs");
    tree.mkdir(" My  Film: Cut/1 Documents");

    const ProjectInspection inspection = ProjectInspector().inspect(project);
    EXPECT_EQ(inspection.missingFolders,
              QStringList({"2 Project Files", "3 Media", "4 Renders", "5 Drafts", "6 Finals"}));
    EXPECT_EQ(inspection.warnings(),
              QStringList({
                  "There's nothing in the finals folder. This project may not be finished yet.",
                  "2 files are sitting loose at the top instead of in one of the numbered folders.",
                  "Missing 2 Project Files, 3 Media, 4 Renders, 5 Drafts, 6 Finals.",
                  "This name starts or ends with a space, which is invisible and easy to trip over later.",
                  "This name has double spaces in it.",
                  "This name has characters that some apps handle badly, like : or /.",
              }));
}

TEST(ProjectInspector, LooseFilesLeaveOutHiddenNamesClutterAndFolders)
{
    TempTree tree;
    const auto project = test::makeProject(tree, "P");
    for (const char* name : {".hidden", "Thumbs.db", ".DS_Store", "notes.txt"})
        tree.write(std::string("P/") + name, "x");
    tree.mkdir("P/extra folder");
    tree.symlink("P/link to media", project / "3 Media");

    const QStringList loose = ProjectInspector().looseFiles(project);
    EXPECT_EQ(QSet<QString>(loose.begin(), loose.end()), QSet<QString>({"notes.txt", "link to media"}));
    EXPECT_EQ(ProjectInspector().looseFiles(tree.path("missing")), QStringList());

    TempTree one;
    test::makeProject(one, "P");
    one.write("P/notes.txt", "x");
    EXPECT_TRUE(warningsOf(one.path("P")).contains(
        "1 file is sitting loose at the top instead of in one of the numbered folders."));
}

TEST(ProjectInspector, FinalsCountAsEmptyWhenTheyHoldOnlyClutter)
{
    struct Case {
        const char* entry; // below "6 Finals"; a trailing "/" makes a folder; null: no "6 Finals" at all
        bool empty;
    };
    const Case cases[] = {
        {".DS_Store", true},        {"Thumbs.db", true},   {".localized", false},
        {"Edit/", false},           {"final.mp4", false},  {nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry ? c.entry : "(no finals folder)");
        TempTree tree;
        const auto project = test::makeProject(tree, "P");
        std::filesystem::remove_all(project / "6 Finals");
        if (c.entry) {
            const std::string entry = std::string("P/6 Finals/") + c.entry;
            entry.back() == '/' ? (void)tree.mkdir(entry) : (void)tree.write(entry, "");
        }
        const ProjectInspection inspection = ProjectInspector().inspect(project);
        EXPECT_EQ(inspection.finalsAreEmpty, c.empty);
        EXPECT_EQ(inspection.missingFolders.contains("6 Finals"), c.entry == nullptr);
    }
}

TEST(ProjectInspector, NameProblemsAndTheTidiedName)
{
    const QString name = " My  Film: Cut/2 ";
    EXPECT_EQ(ProjectInspector::nameProblems(name),
              (std::vector{ProjectNameProblem::surroundingWhitespace, ProjectNameProblem::repeatedSpaces,
                           ProjectNameProblem::awkwardCharacters}));
    EXPECT_EQ(ProjectInspector::tidiedName(name), "My Film- Cut-2");
    EXPECT_EQ(ProjectInspector::tidiedName("Two\nLines\tand\u00a0more"), "Two Lines and more");
    EXPECT_EQ(ProjectInspector::nameProblems("Tab\tand\nline"), std::vector<ProjectNameProblem>());
    EXPECT_EQ(ProjectInspector::nameProblems("Tab\t\tTwice"), std::vector{ProjectNameProblem::repeatedSpaces});
    EXPECT_TRUE(ProjectInspector::nameProblems("Clean Name").empty());
}

TEST(ProjectInspector, SuggestsAYearFromTheName)
{
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"Brand Spot 2014 FW24", 2024}, // the four-digit year is out of range; the season code decides
        {"Job 2012 2021", std::nullopt}, // only the first four-digit match counts
        {"Spring 14", std::nullopt},
        {"Summer 2039", 2039},
        {"Cruise 41", std::nullopt},
        {"Fall 24", 2024},
        {"Resort25", 2025},
        {"ss 25 lookbook", 2025},
        {"Pre-Fall 19", 2019},
        {"Spot", std::nullopt},
        {"20245", std::nullopt},
        {"Edit 2015", 2015},
        {"Edit 2041", std::nullopt},
    };
    for (const auto& [name, year] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ProjectInspector::suggestedYear(QString::fromUtf8(name)), year);
    }
}
