#include "platform/Drives.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

using namespace larkfold;
using larkfold::test::TempTree;
namespace fs = std::filesystem;

TEST(Drives, DestinationPanelsStartWhereTheUsersDrivesAreMounted)
{
    struct Case {
        std::vector<const char*> folders;
        const char* user;
        std::optional<fs::path> expected; // below the tree's root
    } cases[] = {
        {{"media/sam/", "run/media/sam/"}, "sam", "media/sam"},
        {{"media/lee/", "run/media/sam/"}, "sam", "run/media/sam"},
        {{"media/lee/"}, "sam", "media"},
        {{"media/"}, "", "media"},
        {{"run/media/sam/"}, "", std::nullopt},
        {{"mnt/"}, "sam", std::nullopt},
    };
    for (const Case& c : cases) {
        TempTree root;
        for (const char* folder : c.folders)
            root.mkdir(folder);
        SCOPED_TRACE(c.folders.front());
        const auto found = platform::drivesFolder(QString::fromUtf8(c.user), root.root());
        if (c.expected)
            EXPECT_EQ(found, root.path(*c.expected));
        else
            EXPECT_FALSE(found);
    }
}
