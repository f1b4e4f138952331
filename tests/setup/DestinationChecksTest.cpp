#include "setup/DestinationChecks.h"

#include "platform/FakeVolumeInfo.h"
#include "store/BackupPair.h"
#include "support/ChildProcess.h"
#include "support/QtPrinters.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <sys/mount.h>

using namespace larkfold;
using larkfold::test::TempTree;
namespace fs = std::filesystem;

namespace {

const platform::TextMountSource kRootOnly("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n");

BackupPair pairNamed(const char* name, const fs::path& destination)
{
    BackupPair pair;
    pair.id = QUuid::createUuid();
    pair.name = QString::fromUtf8(name);
    pair.sourceURL = "/home/someone" / fs::path(name);
    pair.destinationURL = destination;
    return pair;
}

} // namespace

TEST(DestinationChecks, RefusesFoldersNestedWithASource)
{
    TempTree tree{{"a/Photos/Backup/", ""}, {"a/Docs/", ""}, {"Volumes/Work/", ""}, {"Volumes/Work Backup/", ""}};
    tree.symlink("links/intoPhotos", tree.path("a/Photos/Backup"));
    tree.symlink("links/photosAlias", tree.path("a/Photos"));
    const auto at = [&](const char* relative) { return tree.path(relative); };

    struct Case {
        std::vector<const char*> sources;
        const char* folder;
        std::optional<QString> destination; // the message for it as a destination
        std::optional<QString> offsite;     // and as an offsite folder
    } cases[] = {
        {{"a/Photos"}, "a/Photos/Backup", "The destination can't be inside \"Photos\".",
         "The offsite folder can't be inside \"Photos\"."},
        {{"a/Photos"}, "a", "\"Photos\" can't be inside the destination.",
         "\"Photos\" can't be inside the offsite folder."},
        {{"a/Photos"}, "a/Photos", "The destination can't be inside \"Photos\".",
         "The offsite folder can't be inside \"Photos\"."},
        {{"a/Photos"}, "a/Photos/.", "The destination can't be inside \"Photos\".", {}},
        {{"a/Photos"}, "a/Photos/Backup/..", "The destination can't be inside \"Photos\".", {}},
        {{"a/Photos/"}, "a/Photos/Backup", "The destination can't be inside \"Photos\".", {}},
        {{"Volumes/Work"}, "Volumes/Work Backup", std::nullopt, std::nullopt},
        {{"a/Docs"}, "a/Photos", std::nullopt, std::nullopt},
        // The first nested source in the list decides.
        {{"a/Docs", "a/Photos"}, "a/Photos/Backup", "The destination can't be inside \"Photos\".", {}},
        {{"a/Photos", "a/Docs"}, "a", "\"Photos\" can't be inside the destination.", {}},
        // Links are resolved; the message names the source as the user chose it.
        {{"a/Photos"}, "links/intoPhotos", "The destination can't be inside \"Photos\".",
         "The offsite folder can't be inside \"Photos\"."},
        {{"links/photosAlias"}, "a/Photos/Backup", "The destination can't be inside \"photosAlias\".", {}},
        {{"links/photosAlias"}, "a", "\"photosAlias\" can't be inside the destination.", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        std::vector<fs::path> sources;
        for (const char* source : c.sources)
            sources.push_back(at(source));
        EXPECT_EQ(DestinationChecks::destinationNestingMessage(sources, at(c.folder)), c.destination);
        if (c.offsite || !c.destination) {
            EXPECT_EQ(DestinationChecks::offsiteNestingMessage(sources, at(c.folder)), c.offsite);
        }
    }
}

TEST(DestinationChecks, NewPairsGetFolderNamesNoOtherPairAtTheirDestinationHas)
{
    TempTree tree{{"drive/Larkfold/", ""}, {"other/", ""}, {"fresh/", ""}};
    tree.symlink("driveLink", "drive");
    const fs::path drive = tree.path("drive");
    const std::vector<BackupPair> pairs = {
        pairNamed("Photos", drive),
        pairNamed("work", drive / "Larkfold"), // the same "Larkfold" folder, named directly
        pairNamed("Docs", tree.path("driveLink")),
        pairNamed("Music", tree.path("other")),
    };
    struct Case {
        fs::path destination;
        std::vector<fs::path> sources;
        std::vector<QString> names;
    } cases[] = {
        {drive,
         {"/x/Photos", "/y/photos", "/z/Work", "/w/Music", "/v/Docs", "/u/..hidden", "/t/Notes/"},
         {"Photos 2", "photos 3", "Work 2", "Music", "Docs 2", "hidden", "Notes"}},
        {drive / "Larkfold", {"/x/Photos"}, {"Photos 2"}},
        {tree.path("fresh"), {"/a/Photos", "/b/Photos", "/c/PHOTOS"}, {"Photos", "Photos 2", "PHOTOS 3"}},
        {tree.path("other"), {"/a/music", "/b/Photos"}, {"music 2", "Photos"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.destination.string());
        EXPECT_EQ(DestinationChecks::newPairNames(c.sources, c.destination, pairs), c.names);
    }
}

TEST(DestinationChecks, AFolderThatACloudServiceSyncsGetsAnAlert)
{
    TempTree tree{{"home/Dropbox/Backups/", ""}, {"home/Documents/", ""}};
    const DestinationChecks checks(CloudSyncDetector(tree.path("home")), kRootOnly);
    EXPECT_EQ(checks.destinationAlerts(tree.path("home/Dropbox/Backups")),
              (std::vector<FolderAlert>{{"This folder is synced with Dropbox",
                                         CloudSyncDetector::destinationWarning(CloudSyncDetector::Provider::dropbox)
                                             .remove("This folder is synced with Dropbox. "),
                                         "Choose Another Folder", "Use Anyway"}}));
    EXPECT_TRUE(checks.destinationAlerts(tree.path("home/Documents")).empty());
}

// Real tmpfs mounts in a private namespace: one over /mnt stands for the system disk's folder
// there, one below it for a plugged-in drive.
TEST(DestinationChecks, AFolderWhereADriveIsMissingGetsAnAlert)
{
    TempTree tree{{"home/", ""}, {"local/Backups/", ""}};
    const auto outcome = larkfold::test::runInPrivateMountNamespace([&] {
        if (::mount("tmpfs", "/mnt", "tmpfs", 0, "size=1m") != 0)
            return std::string("skip");
        fs::create_directories("/mnt/usb/Backups");
        const platform::ProcMountSource mounts;
        const DestinationChecks checks(CloudSyncDetector(tree.path("home")), mounts);
        std::string answers;
        const auto probe = [&](const fs::path& folder) {
            const auto alert = checks.systemDiskAlert(folder);
            answers += alert ? '1' : '0';
            if (alert && *alert != FolderAlert{"This folder is on the computer's own disk, not on a drive.", "",
                                               "Choose Another Folder", "Use Anyway"})
                answers += '?';
            if (checks.destinationAlerts(folder).size() != (alert ? 1u : 0u))
                answers += '!';
        };
        probe("/mnt/usb/Backups"); // the drive's folder, but the drive is not there
        probe(tree.path("local/Backups"));
        probe("/mnt"); // the media folder itself
        probe("/mnt/usb/Missing");
        fs::create_symlink("/mnt/usb/Backups", tree.path("local/toDrive"));
        probe(tree.path("local/toDrive"));
        if (::mount("tmpfs", "/mnt/usb", "tmpfs", 0, "size=1m") != 0)
            return std::string("skip");
        fs::create_directories("/mnt/usb/Backups");
        probe("/mnt/usb/Backups"); // plugged in
        probe(tree.path("local/toDrive"));
        return answers;
    });
    if (!outcome || *outcome == "skip")
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(*outcome, "1000100");
}

TEST(DestinationChecks, TheCloudAlertNamesTheServiceOnce)
{
    TempTree tree{{"home/Dropbox/Backups/", ""}};
    const DestinationChecks checks(CloudSyncDetector(tree.path("home")), kRootOnly);
    const auto alert = checks.cloudFolderAlert(tree.path("home/Dropbox/Backups"));
    ASSERT_TRUE(alert.has_value());
    const QString shown = alert->message + u'\n' + alert->informativeText;
    EXPECT_EQ(shown.count(QStringLiteral("synced with Dropbox")), 1) << shown.toStdString();
    EXPECT_TRUE(alert->informativeText.startsWith("Backing up here means every backup will upload to Dropbox"));
}

// The backup run's own rules, asked before any pair exists: each refusal in the run's words.
TEST(DestinationChecks, RefusesFoldersNoBackupCanWorkIn)
{
    TempTree tree{{"a/Photos/", ""}, {"drive/", ""}, {"small/", ""}};
    tree.symlink("toDrive", tree.path("drive"));
    platform::FakeVolumeInfo volumes;
    volumes.setVolume({tree.path("small"), platform::VolumeSpace{300'000'000, 264'300'000}, 7, false});
    volumes.setVolume({tree.path("drive"), platform::VolumeSpace{2'000'000'000, 524'288'000}, 8, false});
    const DestinationChecks checks(CloudSyncDetector(tree.path("home")), kRootOnly, volumes);
    const std::vector<fs::path> photos{tree.path("a/Photos")};
    struct Case {
        fs::path destination;
        std::optional<QString> refusal;
    } cases[] = {
        {tree.path("drive"), std::nullopt}, // exactly the margin is enough
        {tree.path("toDrive"), std::nullopt}, // written through the link
        {tree.path("a/Photos/Backup"), "The destination can't be inside \"Photos\"."},
        {"/usr/local/share", "Destination is a protected system folder. Choose a different destination."},
        {"/usr/local/share/backups", "Destination is a protected system folder. Choose a different destination."},
        {tree.path("small"), "The backup drive is running low on space. Larkfold keeps at least 524.3 MB free on "
                             "it. Free up space or remove old backups. Only 264.3 MB left."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.destination.string());
        EXPECT_EQ(checks.destinationRefusal(photos, c.destination, {"Photos"}), c.refusal);
    }
}

TEST(DestinationChecks, AnOffsiteFolderStaysClearOfTheDestinationsLarkfoldFolder)
{
    TempTree tree{{"a/Photos/", ""}, {"drive/Larkfold/Photos/", ""}, {"named/Larkfold/", ""}, {"cloud/", ""}};
    tree.symlink("toDrive", tree.path("drive"));
    const std::vector<fs::path> photos{tree.path("a/Photos")};
    const QString inside = "The offsite folder can't be inside the destination's \"Larkfold\" folder.";
    const QString holds = "The offsite folder can't hold the destination's \"Larkfold\" folder.";
    struct Case {
        const char* destination;
        const char* offsite;
        std::optional<QString> refusal;
    } cases[] = {
        {"drive", "cloud", std::nullopt},
        {"drive", "drive/Offsite", std::nullopt}, // beside the "Larkfold" folder
        {"drive", "drive", holds},                 // would share the very backup folder
        {"drive", "drive/Larkfold", inside},
        {"drive", "drive/Larkfold/Photos", inside},
        {"drive", "toDrive/Larkfold/Photos", inside}, // through a link
        {"named/Larkfold", "named/Larkfold/Photos", inside}, // a destination that is the "Larkfold" folder
        {"named/Larkfold", "named", holds},
        {"drive", "a/Photos/Cloud", "The offsite folder can't be inside \"Photos\"."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.destination) + " " + c.offsite);
        EXPECT_EQ(DestinationChecks::offsiteRefusal(photos, tree.path(c.destination), tree.path(c.offsite)), c.refusal);
    }
}

// A real read-only mount and a real 300 MB file system, in a private mount namespace.
TEST(DestinationChecks, ARealReadOnlyMountAndASmallStickAreRefused)
{
    TempTree tree{{"home/", ""}, {"Photos/", ""}, {"stick/", ""}, {"readonly/", ""}};
    const fs::path stick = tree.path("stick");
    const fs::path readonly = tree.path("readonly");
    const auto outcome = larkfold::test::runInPrivateMountNamespace([&] {
        if (::mount("tmpfs", stick.c_str(), "tmpfs", 0, "size=300m") != 0
            || ::mount("tmpfs", readonly.c_str(), "tmpfs", 0, "size=1g") != 0)
            return std::string("skip");
        fs::create_directories(readonly / "Backups");
        if (::mount(nullptr, readonly.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            return std::string("skip");
        const platform::ProcMountSource mounts;
        const platform::LinuxVolumeInfo volumes(mounts);
        const DestinationChecks checks(CloudSyncDetector(tree.path("home")), mounts, volumes);
        const std::vector<fs::path> sources{tree.path("Photos")};
        std::string answers;
        for (const fs::path& destination : {readonly / "Backups", stick})
            answers += checks.destinationRefusal(sources, destination, {"Photos"}).value_or("none").toStdString() + '\n';
        answers += fs::is_empty(stick) ? "stick untouched" : "stick written";
        return answers;
    });
    if (!outcome || *outcome == "skip")
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(*outcome, "Destination folder is not writable — check permissions or disk space. Writing a test file "
                        "there failed: Read-only file system.\n"
                        "The backup drive is running low on space. Larkfold keeps at least 524.3 MB free on it. Free "
                        "up space or remove old backups. Only 314.6 MB left.\n"
                        "stick untouched");
}
