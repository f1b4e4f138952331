#include "status/RunErrorsModel.h"

#include "copy/FileOperationError.h"

#include <gtest/gtest.h>

using namespace larkfold;

namespace {

RunFileErrors failures(int count)
{
    RunFileErrors errors;
    for (int i = 0; i < count; ++i)
        errors.add(FileOperationError::larkfold(0, QStringLiteral("No space left on device"),
                                                "/home/sam/Work/f" + std::to_string(i) + ".txt", QStringLiteral("copy")));
    return errors;
}

} // namespace

TEST(RunErrorsModel, HeadingNoteAndRowsOfAFewOrOfMoreThanAreKept)
{
    const struct {
        int count;
        const char* heading;
        const char* note;
        std::size_t rows;
    } cases[] = {
        {0, "Nothing went wrong in the last backup of Work", "", 0},
        {1, "1 problem in the last backup of Work", "", 1},
        {3, "3 problems in the last backup of Work", "", 3},
        {1024, "1024 problems in the last backup of Work", "Showing the first 300 of 1024.", 300},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        const RunErrorsModel model(QStringLiteral("Work"), failures(c.count));
        EXPECT_EQ(model.title(), QStringLiteral("Backup Problems — Work"));
        EXPECT_EQ(model.heading(), QString::fromUtf8(c.heading));
        EXPECT_EQ(model.shownNote(), QString::fromUtf8(c.note));
        EXPECT_EQ(model.rows().size(), c.rows);
    }
}

TEST(RunErrorsModel, EachFailureInTheUsersWordsAndAsText)
{
    RunFileErrors errors;
    errors.add(FileOperationError::larkfold(0, QStringLiteral("Permission denied"), "/home/sam/Work/caf\xc3\xa9.txt",
                                            QStringLiteral("copy")));
    errors.add(FileOperationError::larkfold(0, QStringLiteral("Destination is a protected system folder."),
                                            "/etc/Larkfold/Work", QStringLiteral("validateDestination")));
    errors.add(FileOperationError::larkfold(0, QStringLiteral("Input/output error"), "/home/sam/Work/b",
                                            QStringLiteral("somethingNew")));
    const RunErrorsModel model(QStringLiteral("Work"), errors);
    ASSERT_EQ(model.rows().size(), 3u);
    EXPECT_EQ(model.rows()[0].path, QStringLiteral("/home/sam/Work/café.txt"));
    EXPECT_EQ(model.rows()[0].action, QStringLiteral("Copying"));
    EXPECT_EQ(model.rows()[1].action, QStringLiteral("Checking the backup folder"));
    EXPECT_EQ(model.rows()[2].action, QStringLiteral("somethingNew")) << "an unknown step is named as it is";
    EXPECT_EQ(model.clipboardText(),
              QStringLiteral("3 problems in the last backup of Work\n"
                             "/home/sam/Work/café.txt\tCopying\tPermission denied\n"
                             "/etc/Larkfold/Work\tChecking the backup folder\tDestination is a protected system folder.\n"
                             "/home/sam/Work/b\tsomethingNew\tInput/output error\n"));
}
