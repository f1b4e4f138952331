// Real drives: tmpfs mounts in a private mount namespace, followed through the kernel's own
// mount table by the coordinator's volume monitor. Each test runs in a forked child.

#include "CoordinatorFixture.h"

#include "platform/Bookmark.h"
#include "support/ChildProcess.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <sys/mount.h>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;
using EventType = BackupEvent::EventType;

namespace {

// What the child saw, one word per check, so the parent can compare it whole.
class Observations {
public:
    void note(const std::string& what, bool held) { m_text += (m_text.empty() ? "" : " ") + what + (held ? "" : "!"); }
    const std::string& text() const { return m_text; }

private:
    std::string m_text;
};

// The drive's files live on a tmpfs out of sight; plugging it bind-mounts that file system at the
// mount point, so it comes back as the same file system, and unplugging leaves the empty folder.
struct Drive {
    fs::path storage;
    fs::path mountPoint;

    bool plug() const { return ::mount(storage.c_str(), mountPoint.c_str(), nullptr, MS_BIND, nullptr) == 0; }
    bool unplug() const { return ::umount2(mountPoint.c_str(), MNT_DETACH) == 0; }
};

std::string driveLeavesAndReturns(const fs::path& workFolder, const fs::path& mountPoint)
{
    const Drive drive{workFolder / "storage", mountPoint};
    fs::create_directories(drive.storage);
    fs::create_directories(drive.mountPoint);
    if (::mount("tmpfs", drive.storage.c_str(), "tmpfs", 0, "size=4m") != 0 || !drive.plug())
        return "skip";
    fs::create_directories(mountPoint / "Backups");

    Observations seen;
    Coordinator c;
    c.environment.volumeMonitor = {}; // the kernel's table and its flag
    c.tree.write("docs/a.txt", "a");
    BackupPair pair = c.makePair("Docs", c.tree.path("docs"), mountPoint / "Backups");
    pair.sourceBookmark = platform::systemBookmarks().create(pair.sourceURL);
    pair.destinationBookmark = platform::systemBookmarks().create(pair.destinationURL);
    c.store().addPair(pair);
    c.start();
    seen.note("backedUp", c.waitForEvents(pair.id, EventType::backup, 1) && c.waitForTasks());
    seen.note("copied", fs::exists(mountPoint / "Backups/Larkfold/Docs/a.txt"));

    seen.note("unplugged", drive.unplug());
    seen.note("waits", spinUntil([&] {
        return c.engine(pair.id).status() == BackupStatus::destinationUnreachable();
    }, 10000));
    seen.note("lost", c.eventCount(pair.id, EventType::volumeLost) == 1);
    seen.note("told", c.notificationTitles() == std::vector<QString>{"Backup Drive Disconnected"});
    // Asked to back up while away, and changed meanwhile: nothing lands in the empty folder.
    c.tree.write("docs/b.txt", "b");
    c.manager().backupAllNow();
    seen.note("stillWaits", c.waitForTasks()
                                && c.engine(pair.id).status() == BackupStatus::destinationUnreachable());
    seen.note("emptyFolder", fs::is_empty(mountPoint));

    seen.note("plugged", drive.plug());
    seen.note("resumed", c.waitForEvents(pair.id, EventType::backup, 2));
    seen.note("restored", c.eventCount(pair.id, EventType::volumeRestored) == 1);
    seen.note("caughtUp", c.waitForTasks() && fs::exists(mountPoint / "Backups/Larkfold/Docs/b.txt"));
    return seen.text();
}

const std::string kDriveSeen =
    "backedUp copied unplugged waits lost told stillWaits emptyFolder plugged resumed restored caughtUp";

} // namespace

TEST(DriveEvents, APairWaitsWhileItsDriveUnderTheMediaFolderIsAway)
{
    TempDir work;
    const auto outcome = runInPrivateMountNamespace([&] {
        if (::mount("tmpfs", "/media", "tmpfs", 0, "size=1m") != 0)
            return std::string("skip");
        return driveLeavesAndReturns(work.path(), "/media/sam/USB");
    });
    if (!outcome || *outcome == "skip")
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(*outcome, kDriveSeen);
}

TEST(DriveEvents, APairWaitsWhileItsDriveAtACustomMountPointIsAway)
{
    TempDir work;
    const auto outcome = runInPrivateMountNamespace([&] { return driveLeavesAndReturns(work.path(), work / "mnt/usb"); });
    if (!outcome || *outcome == "skip")
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(*outcome, kDriveSeen);
}

// A folder below /mnt that lay on the system disk when it was chosen is no missing drive.
TEST(DriveEvents, AFolderUnderMntOnTheSystemDiskStillBacksUp)
{
    const auto outcome = runInPrivateMountNamespace([] {
        // A private /mnt stands for the system disk's folder: no file system is mounted below it.
        fs::create_directories("/mnt");
        if (::mount("tmpfs", "/mnt", "tmpfs", 0, "size=1m") != 0)
            return std::string("skip");
        fs::create_directories("/mnt/backup");
        Observations seen;
        Coordinator c;
        c.tree.write("docs/a.txt", "a");
        BackupPair pair = c.makePair("Docs", c.tree.path("docs"), "/mnt/backup");
        pair.destinationBookmark = platform::systemBookmarks().create(pair.destinationURL);
        c.store().addPair(pair);
        c.start();
        seen.note("backedUp", c.waitForEvents(pair.id, EventType::backup, 1) && c.waitForTasks());
        seen.note("copied", fs::exists("/mnt/backup/Larkfold/Docs/a.txt"));
        return seen.text();
    });
    if (!outcome || *outcome == "skip")
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(*outcome, "backedUp copied");
}
