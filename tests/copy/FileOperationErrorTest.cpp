#include "copy/FileOperationError.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace larkfold;

TEST(FileOperationErrorTest, OwnErrorsCarryDomainCodeAndMessage)
{
    const auto error = FileOperationError::larkfold(1101, "Destination is inside the source folder.", "/d", "validatePath");
    EXPECT_EQ(error.domain(), "Larkfold");
    EXPECT_EQ(error.code(), 1101);
    EXPECT_TRUE(error.isLarkfold(1101));
    EXPECT_FALSE(error.isPosix(1101));
    EXPECT_EQ(error.description(), "Destination is inside the source folder.");
    EXPECT_EQ(error.url(), "/d");
    EXPECT_EQ(error.operation(), "validatePath");
    EXPECT_EQ(error.inner(), nullptr);
}

TEST(FileOperationErrorTest, PosixErrorsCarryErrnoAndItsText)
{
    const auto error = FileOperationError::posix(EACCES, "/d/x", "copy");
    EXPECT_EQ(error.domain(), "POSIX");
    EXPECT_TRUE(error.isPosix(EACCES));
    EXPECT_EQ(error.description(), "Permission denied");
}

TEST(FileOperationErrorTest, ANestedRecordKeepsItsOwnPlaceAndLendsItsCause)
{
    const auto creation = FileOperationError::posix(ENOSPC, "/trash/2026-01-05/a", "createDirectory");
    const auto archive = FileOperationError::wrapping(creation, "/backup/a/b.txt", "archive");
    EXPECT_EQ(archive.url(), "/backup/a/b.txt");
    EXPECT_EQ(archive.operation(), "archive");
    ASSERT_NE(archive.inner(), nullptr);
    EXPECT_EQ(archive.inner()->url(), "/trash/2026-01-05/a");
    EXPECT_EQ(archive.inner()->operation(), "createDirectory");
    EXPECT_TRUE(archive.isPosix(ENOSPC));
    EXPECT_EQ(archive.description(), "No space left on device");
}
