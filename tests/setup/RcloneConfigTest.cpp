#include "setup/RcloneConfig.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace larkfold;
using larkfold::test::TempTree;

// rclone's own search: its variable, the configuration folder, then the file of old versions.
TEST(RcloneConfig, FindsTheFileWhereRcloneLooks)
{
    TempTree tree{{"home/", ""}};
    const auto home = tree.path("home");
    unsetenv("RCLONE_CONFIG");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(RcloneConfig::defaultFile(home), home / ".config/rclone/rclone.conf");
    tree.write("home/.rclone.conf", "");
    EXPECT_EQ(RcloneConfig::defaultFile(home), home / ".rclone.conf");
    tree.write("home/.config/rclone/rclone.conf", "");
    EXPECT_EQ(RcloneConfig::defaultFile(home), home / ".config/rclone/rclone.conf");
    setenv("XDG_CONFIG_HOME", tree.path("config").c_str(), 1);
    EXPECT_EQ(RcloneConfig::defaultFile(home), home / ".rclone.conf") << "the new file is not there";
    tree.write("config/rclone/rclone.conf", "");
    EXPECT_EQ(RcloneConfig::defaultFile(home), tree.path("config/rclone/rclone.conf"));
    setenv("RCLONE_CONFIG", "/etc/rclone.conf", 1);
    EXPECT_EQ(RcloneConfig::defaultFile(home), "/etc/rclone.conf");
    unsetenv("RCLONE_CONFIG");
}

TEST(RcloneConfig, CannotTellFromAnEncryptedFile)
{
    TempTree tree;
    tree.write("rclone.conf", "# Encrypted rclone configuration File\n\nRCLONE_ENCRYPT_V0:\nXm2fDT8z0AbCdEf=\n");
    EXPECT_EQ(RcloneConfig::backendOf("gdrive:", tree.path("rclone.conf")), std::nullopt);
    EXPECT_EQ(RcloneConfig::backendOf(":drive:", tree.path("rclone.conf")), (RcloneConfig::Backend{"drive", ""}));
}
