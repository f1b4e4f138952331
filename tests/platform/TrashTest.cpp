#include "platform/Trash.h"
#include "support/TempTree.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace larkfold::platform;
using larkfold::test::TempTree;
namespace fs = std::filesystem;

TEST(Trash, MovesFilesAndFoldersIntoTheHomeTrash)
{
    TempTree tree{{"a.txt", "hello"}, {"folder/b.txt", "b"}};
    for (const char* name : {"a.txt", "folder"}) {
        SCOPED_TRACE(name);
        QString error;
        const auto where = systemTrash().moveToTrash(tree.path(name), &error);
        ASSERT_TRUE(where.has_value()) << error.toStdString();
        EXPECT_TRUE(where->is_absolute());
        EXPECT_TRUE(fs::exists(*where));
        EXPECT_FALSE(tree.exists(name));
    }
}

TEST(Trash, WhatCannotBeTrashedStaysWhereItWas)
{
    TempTree tree{{"a.txt", "hello"}};
    QString error;
    EXPECT_FALSE(systemTrash().moveToTrash(tree.path("missing"), &error).has_value());
    EXPECT_FALSE(error.isEmpty());

    // A name Qt cannot spell would be trashed under another name.
    const fs::path odd = tree.write(std::string("caf\xe9.txt"), "latin-1");
    EXPECT_FALSE(systemTrash().moveToTrash(odd).has_value());
    EXPECT_TRUE(fs::exists(odd));

    // A Trash that cannot be made: the home trash is a plain file.
    const fs::path trash = fs::path(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString()) / "Trash";
    fs::remove_all(trash);
    larkfold::test::writeFile(trash, "not a folder");
    const auto where = systemTrash().moveToTrash(tree.path("a.txt"));
    EXPECT_FALSE(where.has_value()) << where->native();
    EXPECT_TRUE(tree.exists("a.txt"));
    fs::remove(trash);
}
