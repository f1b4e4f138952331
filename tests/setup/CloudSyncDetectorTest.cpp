#include "setup/CloudSyncDetector.h"

#include "platform/MountSource.h"
#include "platform/Paths.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace larkfold;
using larkfold::platform::TextMountSource;
using larkfold::test::TempTree;
using Provider = CloudSyncDetector::Provider;
using ClientPlatform = CloudSyncDetector::ClientPlatform;
using Available = CloudSyncDetector::AvailableProvider;
namespace fs = std::filesystem;

namespace {

struct Case {
    const char* folder; // relative to the tree
    std::optional<Provider> expected;
};

void expectProviders(const CloudSyncDetector& detector, const TempTree& tree, std::initializer_list<Case> cases)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        EXPECT_EQ(detector.provider(tree.path(c.folder)), c.expected);
    }
}

} // namespace

TEST(CloudSyncDetector, RecognisesTheFoldersOfLinuxClients)
{
    TempTree tree{{"home/Dropbox/Photos/", ""},  {"home/Dropbox Archive/", ""}, {"home/Nextcloud/Work/", ""},
                  {"home/ownCloud/", ""},        {"home/pCloudDrive/", ""},     {"home/MEGA/", ""},
                  {"home/Tresorit/Team/", ""},   {"home/Sync/", ""},            {"home/Box/", ""},
                  {"home/Google Drive/", ""},    {"home/ProtonDrive/", ""},     {"home/Documents/", ""},
                  {"home/Library/CloudStorage/Dropbox-Me/", ""},
                  {"home/Library/Mobile Documents/com~apple~CloudDocs/", ""},
                  {"elsewhere/Dropbox/", ""},    {"data/onedrive/Notes/", ""},  {"data/team/", ""},
                  {"home/Insync/me@example.com/Google Drive/Docs/", ""}};
    tree.symlink("home/Links/photos", tree.path("home/Dropbox/Photos"));
    tree.symlink("home/Links/cloud", "../Nextcloud");
    tree.symlink("home/OneDrive", tree.path("data/onedrive")); // the synced folder moved to another disk
    tree.symlink("home/Dropbox (Acme)", tree.path("data/team"));
    tree.symlink("homelink", "home");

    // The home folder is normalised too, so one reached through a link reads the same.
    for (const char* home : {"home", "homelink"}) {
        SCOPED_TRACE(home);
        const CloudSyncDetector detector(tree.path(home));
        expectProviders(detector, tree,
                        {
                            {"home/Dropbox", Provider::dropbox},
                            {"home/Dropbox/Photos", Provider::dropbox},
                            {"home/Dropbox/not yet made/deeper", Provider::dropbox},
                            {"home/Dropbox Archive", std::nullopt},
                            {"home/Dropbox/../Dropbox Archive", std::nullopt},
                            {"home/Links/photos", Provider::dropbox},
                            {"home/Links/cloud/Work", Provider::nextcloud},
                            {"homelink/Dropbox/Photos", Provider::dropbox},
                            {"home/ownCloud", Provider::nextcloud},
                            {"home/pCloudDrive", Provider::pCloud},
                            {"home/MEGA", Provider::mega},
                            {"home/Tresorit/Team", Provider::tresorit},
                            {"home/OneDrive/Notes", Provider::oneDrive},
                            {"data/onedrive/Notes", Provider::oneDrive},
                            // A personal and a team account linked together.
                            {"home/Dropbox (Personal)/Photos", Provider::dropbox},
                            {"home/Dropbox (Acme Inc.)", Provider::dropbox},
                            {"data/team/Plans", Provider::dropbox},
                            {"home/Dropbox ()", std::nullopt},
                            {"home/Dropbox (Personal) old", std::nullopt},
                            {"home/MEGAsync/Music", Provider::mega},
                            // Further accounts of one client are numbered.
                            {"home/Nextcloud2", Provider::nextcloud},
                            {"home/Nextcloud12/Work", Provider::nextcloud},
                            {"home/ownCloud3", Provider::nextcloud},
                            {"home/Nextcloud Old", std::nullopt},
                            {"home/Nextcloudy", std::nullopt},
                            {"home/Insync/me@example.com/Google Drive/Docs", Provider::googleDrive},
                            {"home/Insync/work@example.com/OneDrive", Provider::oneDrive},
                            {"home/Insync/me@example.com", std::nullopt},
                            {"home/Insync/me@example.com/Other", std::nullopt},
                            {"home/Insync/.trash/Google Drive", std::nullopt},
                            // No Linux client: a folder merely named like theirs is not a synced one.
                            {"home/Sync", std::nullopt},
                            {"home/Box", std::nullopt},
                            {"home/Google Drive", std::nullopt},
                            {"home/ProtonDrive", std::nullopt},
                            {"home/Library/CloudStorage/Dropbox-Me", std::nullopt},
                            {"home/Library/Mobile Documents/com~apple~CloudDocs", std::nullopt},
                            {"home", std::nullopt},
                            {"home/Documents", std::nullopt},
                            {"elsewhere/Dropbox", std::nullopt},
                        });
    }
    EXPECT_EQ(CloudSyncDetector(tree.path("home")).provider("/"), std::nullopt);
}

// The locations of the other platform's clients keep their own rules.
TEST(CloudSyncDetector, RecognisesTheFoldersOfMacClients)
{
    TempTree tree{{"home/Library/CloudStorage/", ""}, {"home/Box Sync/", ""}};
    const CloudSyncDetector detector(tree.path("home"), ClientPlatform::macOS);
    expectProviders(detector, tree,
                    {
                        {"home/Library/Mobile Documents", Provider::iCloud},
                        {"home/Library/Mobile Documents/com~apple~CloudDocs/Photos", Provider::iCloud},
                        {"home/Library/Mobile Documents/iCloud~com~example~app", Provider::iCloud},
                        {"home/Library/CloudStorage/GoogleDrive-me@example.com/My Drive", Provider::googleDrive},
                        {"home/Library/CloudStorage/Box-Box", Provider::box},
                        {"home/Library/CloudStorage/OwnCloud-server", Provider::nextcloud},
                        {"home/Library/CloudStorage/Other-Service", std::nullopt},
                        {"home/Library/CloudStorage", std::nullopt},
                        {"home/Box Sync/Work", Provider::box},
                        {"home/Sync", Provider::sync},
                        {"home/Dropbox Archive", std::nullopt},
                        {"home/pCloudDrive", std::nullopt},
                    });
}

TEST(CloudSyncDetector, ListsEachCloudFolderOnce)
{
    TempTree tree{{"home/Dropbox/", ""},
                  {"home/Dropbox (Personal)/", ""},
                  {"home/Dropbox (Acme)/", ""},
                  {"home/Nextcloud/", ""},
                  {"home/Nextcloud2/", ""},
                  {"home/Nextcloud3", "a file, not a folder"},
                  {"home/Insync/me@example.com/Google Drive/", ""},
                  {"home/Insync/me@example.com/OneDrive/", ""},
                  {"home/MEGA", "a file, not a folder"},
                  {"home/Sync/", ""},
                  {"home/Box/", ""},
                  {"home/Library/CloudStorage/Dropbox-Me/", ""},
                  {"home/Library/Mobile Documents/com~apple~CloudDocs/", ""}};
    tree.symlink("home/ownCloud", "Nextcloud"); // one folder under two names
    const fs::path home = platform::canonicalPath(tree.path("home"));
    EXPECT_EQ(CloudSyncDetector(tree.path("home")).availableProviders(),
              (std::vector<Available>{{Provider::dropbox, home / "Dropbox"},
                                      {Provider::dropbox, home / "Dropbox (Acme)"},
                                      {Provider::dropbox, home / "Dropbox (Personal)"},
                                      {Provider::nextcloud, home / "Nextcloud"},
                                      {Provider::nextcloud, home / "Nextcloud2"},
                                      {Provider::googleDrive, home / "Insync/me@example.com/Google Drive"},
                                      {Provider::oneDrive, home / "Insync/me@example.com/OneDrive"}}));

    TempTree empty{{"home/Documents/", ""}};
    EXPECT_TRUE(CloudSyncDetector(empty.path("home")).availableProviders().empty());
}

namespace {

std::string mountLine(int id, const fs::path& mountPoint, const std::string& type, const std::string& source)
{
    return std::to_string(id) + " 1 0:" + std::to_string(id) + " / " + mountPoint.string() + " rw - " + type + " "
           + source + " rw\n";
}

} // namespace

// The drives of GNOME's online accounts and the mounts of cloud clients, wherever they are mounted.
TEST(CloudSyncDetector, RecognisesCloudDrivesAndMounts)
{
    TempTree tree{{"home/Documents/", ""},
                  {"run/gvfs/google-drive:host=gmail.com,user=me/0AbC/", ""},
                  {"run/gvfs/sftp:host=server/", ""},
                  {"mnt/gdrive/Photos/", ""},
                  {"mnt/secret/", ""},
                  {"mnt/nas/", ""},
                  {"mnt/s3/", ""},
                  {"mnt/wrapped-loop/", ""},
                  {"mnt/cloud/", ""},
                  {"home/OneDrive/", ""},
                  {"home/GoogleDrive/", ""},
                  {"media/usb/", ""}};
    tree.write("rclone.conf", "# a comment\n"
                              "[gdrive]\ntype = drive\nscope = drive\n\n"
                              "[vault]\ntype = crypt\nremote = gdrive:encrypted\n"
                              "[cloud]\ntype = webdav\nvendor = nextcloud\nurl = https://cloud.example.com\n"
                              "[bucket]\ntype = s3\n"
                              "[loop]\ntype = alias\nremote = loop:\n");
    const TextMountSource mounts(
        mountLine(1, "/", "ext4", "/dev/sda1") + mountLine(2, tree.path("run/gvfs"), "fuse.gvfsd-fuse", "gvfsd-fuse")
        + mountLine(3, tree.path("mnt/gdrive"), "fuse.rclone", "gdrive:")
        + mountLine(4, tree.path("mnt/secret"), "fuse.rclone", "vault{a1B2c}:")
        + mountLine(5, tree.path("mnt/cloud"), "fuse.rclone", "cloud:Documents")
        + mountLine(6, tree.path("mnt/s3"), "fuse.rclone", "bucket:photos")
        + mountLine(7, tree.path("mnt/nas"), "fuse.rclone", ":sftp,host=nas:")
        + mountLine(8, tree.path("mnt/wrapped-loop"), "fuse.rclone", "loop:")
        + mountLine(9, tree.path("home/OneDrive"), "fuse.onedriver", "onedriver")
        + mountLine(10, tree.path("home/GoogleDrive"), "fuse.google-drive-ocamlfuse", "google-drive-ocamlfuse")
        + mountLine(11, tree.path("media/usb"), "vfat", "/dev/sdb1"));
    const CloudSyncDetector detector({tree.path("home"), tree.path("run"), tree.path("rclone.conf")}, mounts);
    expectProviders(detector, tree,
                    {
                        {"run/gvfs/google-drive:host=gmail.com,user=me", Provider::googleDrive},
                        {"run/gvfs/google-drive:host=gmail.com,user=me/0AbC", Provider::googleDrive},
                        {"run/gvfs/sftp:host=server", std::nullopt},
                        {"run/gvfs", std::nullopt},
                        {"mnt/gdrive/Photos", Provider::googleDrive},
                        // Through crypt to Google Drive; the mark of overridden options is no part of the name.
                        {"mnt/secret", Provider::googleDrive},
                        {"mnt/cloud", Provider::nextcloud},
                        // A service of its own or an unknown one: rclone's.
                        {"mnt/s3", Provider::rclone},
                        {"mnt/nas", Provider::rclone},
                        {"mnt/wrapped-loop", Provider::rclone},
                        {"home/OneDrive", Provider::oneDrive},
                        {"home/GoogleDrive", Provider::googleDrive},
                        {"media/usb", std::nullopt},
                        {"home/Documents", std::nullopt},
                    });

    // Without its configuration every rclone mount is rclone's.
    const CloudSyncDetector unconfigured({tree.path("home"), tree.path("run"), tree.path("missing.conf")}, mounts);
    EXPECT_EQ(unconfigured.provider(tree.path("mnt/gdrive")), Provider::rclone);

    const fs::path home = platform::canonicalPath(tree.path("home"));
    const auto listed = detector.availableProviders();
    EXPECT_EQ(listed,
              (std::vector<Available>{
                  {Provider::oneDrive, home / "OneDrive"}, // a home folder first, though mounted
                  {Provider::googleDrive, tree.path("run/gvfs/google-drive:host=gmail.com,user=me")},
                  {Provider::googleDrive, tree.path("mnt/gdrive")},
                  {Provider::googleDrive, tree.path("mnt/secret")},
                  {Provider::nextcloud, tree.path("mnt/cloud")},
                  {Provider::rclone, tree.path("mnt/s3")},
                  {Provider::rclone, tree.path("mnt/nas")},
                  {Provider::rclone, tree.path("mnt/wrapped-loop")},
                  {Provider::googleDrive, tree.path("home/GoogleDrive")},
              }));
}

TEST(CloudSyncDetector, ListsMacCloudFoldersInTheirOrder)
{
    TempTree tree{{"home/Library/Mobile Documents/com~apple~CloudDocs/", ""},
                  {"home/Library/CloudStorage/GoogleDrive-me@example.com/", ""},
                  {"home/Library/CloudStorage/OneDrive-Personal/", ""},
                  {"home/Library/CloudStorage/.dropbox-hidden/", ""},
                  {"home/Library/CloudStorage/Unknown-Service/", ""},
                  {"home/Library/CloudStorage/Box-file", "not a folder"},
                  {"home/Dropbox/", ""},
                  {"home/Box/", ""},
                  {"home/Box Sync/", ""}};
    tree.symlink("home/Library/CloudStorage/Dropbox-Me", tree.path("home/Dropbox"));
    const fs::path home = platform::canonicalPath(tree.path("home"));
    const auto listed = CloudSyncDetector(tree.path("home"), ClientPlatform::macOS).availableProviders();

    ASSERT_EQ(listed.size(), 6u);
    EXPECT_EQ(listed[0], (Available{Provider::iCloud, home / "Library/Mobile Documents/com~apple~CloudDocs"}));
    // The file-provider folders come in the order the file system lists them.
    std::vector<Available> cloudStorage(listed.begin() + 1, listed.begin() + 4);
    const auto inStorage = [&](const char* name) { return home / "Library/CloudStorage" / name; };
    for (const Available& expected : {Available{Provider::googleDrive, inStorage("GoogleDrive-me@example.com")},
                                      Available{Provider::oneDrive, inStorage("OneDrive-Personal")},
                                      Available{Provider::dropbox, inStorage("Dropbox-Me")}})
        EXPECT_NE(std::find(cloudStorage.begin(), cloudStorage.end(), expected), cloudStorage.end());
    // ~/Dropbox was listed already through its link; Box and Box Sync are two folders of one service.
    EXPECT_EQ(listed[4], (Available{Provider::box, home / "Box"}));
    EXPECT_EQ(listed[5], (Available{Provider::box, home / "Box Sync"}));
}

TEST(CloudSyncDetector, NamesAndWarnings)
{
    const std::pair<Provider, const char*> names[] = {
        {Provider::iCloud, "iCloud Drive"}, {Provider::dropbox, "Dropbox"},     {Provider::oneDrive, "OneDrive"},
        {Provider::googleDrive, "Google Drive"}, {Provider::box, "Box"},        {Provider::proton, "Proton Drive"},
        {Provider::sync, "Sync.com"},       {Provider::pCloud, "pCloud"},       {Provider::mega, "MEGA"},
        {Provider::nextcloud, "Nextcloud"}, {Provider::tresorit, "Tresorit"},    {Provider::rclone, "rclone"},
    };
    for (const auto& [provider, name] : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(CloudSyncDetector::displayName(provider), QString::fromUtf8(name));
        EXPECT_EQ(CloudSyncDetector::providerNamed(QString::fromUtf8(name)), provider);
    }
    for (const char* other : {"dropbox", "Dropbox ", "iCloud", ""})
        EXPECT_EQ(CloudSyncDetector::providerNamed(QString::fromUtf8(other)), std::nullopt) << other;

    EXPECT_EQ(CloudSyncDetector::destinationWarning(Provider::iCloud),
              QStringLiteral("This folder is synced with iCloud Drive. Backing up here means every backup will upload "
                             "to iCloud, which can be slow and use significant bandwidth. Files may also be stored as "
                             "\"Optimized\" placeholders instead of real copies, which defeats the purpose of a "
                             "backup.\n\nWe recommend using an external drive instead."));
    EXPECT_EQ(CloudSyncDetector::destinationWarning(Provider::sync),
              QStringLiteral("This folder is synced with Sync.com. Backing up here means every backup will upload to "
                             "Sync.com, which can be slow and use significant bandwidth. Files may also be stored as "
                             "placeholders instead of real copies, which defeats the purpose of a backup.\n\nWe "
                             "recommend using an external drive instead."));
}
