#include "copy/FileCopier.h"

#include "CopyRunFixture.h"
#include "copy/BandwidthThrottle.h"
#include "platform/Utf8.h"
#include "support/ChildProcess.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <regex>
#include <sys/mount.h>
#include <sys/stat.h>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;

namespace {

class ArchivalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        currentBandwidthMode.store(2);
        fs::create_directories(m_backup);
    }

    static void put(const fs::path& file, const std::string& content)
    {
        fs::create_directories(file.parent_path());
        writeFile(file, content);
    }

    BackupResult run(const FileCopier::ProgressCallback& progress = {},
                     const std::vector<std::string>& confirmedDeletions = {})
    {
        BackupOutcome outcome = FileCopier(platform::systemFileSystem(), m_applications)
                                    .backup(m_source.root(), m_backup, m_trash,
                                            ExclusionFilter::forProfile(BackupProfile::standard), progress, {},
                                            confirmedDeletions);
        if (!std::holds_alternative<BackupResult>(outcome)) {
            ADD_FAILURE() << std::get<FileOperationError>(outcome).description().toStdString();
            return {};
        }
        return std::get<BackupResult>(std::move(outcome));
    }

    // A backup folder of `backupFiles` files of which the source still holds the first `kept`.
    void populate(int backupFiles, int kept)
    {
        for (int i = 0; i < backupFiles; ++i) {
            const std::string name = "f" + std::to_string(i);
            writeFile(m_backup / name, "x");
            if (i < kept) {
                m_source.write(name, "x");
                setModifiedTime(m_backup / name, 1'700'000'000);
                m_source.setMtime(name, 1'700'000'000);
            }
        }
    }

    fs::path day() const { return m_trash / FileCopier::dateFolderName(QDateTime::currentDateTime()); }

    StaticApplications m_applications;
    TempTree m_source;
    TempDir m_destination;
    fs::path m_backup = m_destination / "Pair";
    fs::path m_trash = m_destination / ".Larkfold-Trash";
};

} // namespace

TEST_F(ArchivalTest, TheGuardRefusesWhenNearlyAllOfTheBackupWouldGo)
{
    const struct Case {
        int backupFiles;
        int kept;
        int archived;
        const char* message; // of the refusal, "" when archival goes ahead
    } cases[] = {
        {11, 1, 0, "Unusually large number of files (10) would be archived — skipping archival as a safety measure."},
        {11, 2, 9, ""},
        {100, 11, 89, ""},
        {100, 10, 0, "Unusually large number of files (90) would be archived — skipping archival as a safety measure."},
        {5, 0, 0,
         "Source appears empty or unreadable — skipped archival of 5 backup file(s) to protect existing backups."},
        {0, 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.backupFiles) + " kept " + std::to_string(c.kept));
        fs::remove_all(m_source.root());
        fs::create_directories(m_source.root());
        fs::remove_all(m_destination.path());
        fs::create_directories(m_backup);
        populate(c.backupFiles, c.kept);

        const BackupResult result = run();

        EXPECT_EQ(result.archivedFiles, c.archived);
        if (*c.message) {
            ASSERT_EQ(result.errors.size(), 1u);
            EXPECT_EQ(result.errors[0].operation(), "archive");
            EXPECT_EQ(result.errors[0].url(), m_source.root());
            EXPECT_EQ(result.errors[0].description().toStdString(), c.message);
            EXPECT_EQ(namesIn(m_backup).size(), std::size_t(c.backupFiles + 1)); // and the lock file
            EXPECT_EQ(result.heldBackDeletions.size(), std::size_t(c.backupFiles - c.kept));
        } else {
            EXPECT_TRUE(result.errors.empty());
            EXPECT_TRUE(result.heldBackDeletions.empty());
            EXPECT_EQ(namesIn(day()).size(), std::size_t(c.archived));
        }
        EXPECT_FALSE(result.abortedDueToVolumeLoss);
    }
}

TEST_F(ArchivalTest, DeletionsTheUserConfirmedPassTheGuardAndNothingElseDoes)
{
    const auto names = [](int from, int to) {
        std::vector<std::string> list;
        for (int i = from; i < to; ++i)
            list.push_back("f" + std::to_string(i));
        return list;
    };
    // 18 of 20 files gone: held back, each by its path.
    populate(20, 2);
    BackupResult result = run();
    EXPECT_EQ(result.archivedFiles, 0);
    std::vector<std::string> held = result.heldBackDeletions;
    std::sort(held.begin(), held.end());
    std::vector<std::string> expected = names(2, 20);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(held, expected);

    // Confirmed: those still gone move; one that came back meanwhile stays.
    m_source.write("f3", "x");
    setModifiedTime(m_backup / "f3", 1'700'000'000);
    m_source.setMtime("f3", 1'700'000'000);
    result = run({}, held);
    EXPECT_TRUE(result.errors.empty());
    EXPECT_TRUE(result.heldBackDeletions.empty());
    EXPECT_EQ(result.archivedFiles, 17);
    EXPECT_EQ(readFile(m_backup / "f3"), "x");
    EXPECT_EQ(namesIn(day()).size(), 17u);

    // With the source emptied, a confirmation of some lets no others past the guard.
    fs::remove_all(m_source.root());
    fs::create_directories(m_source.root());
    fs::remove_all(m_destination.path());
    fs::create_directories(m_backup);
    populate(30, 0);
    result = run({}, names(0, 10));
    EXPECT_EQ(result.archivedFiles, 10);
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_EQ(result.errors[0].description().toStdString(),
              "Source appears empty or unreadable — skipped archival of 20 backup file(s) to protect existing backups.");
    EXPECT_EQ(result.heldBackDeletions.size(), 20u);
    EXPECT_EQ(namesIn(m_backup).size(), 21u); // and the lock file
}

TEST_F(ArchivalTest, ATakenNameInTheDayFolderGetsASuffixBeforeItsExtension)
{
    populate(4, 1);
    put(m_backup / "a/b.txt", "vanished");
    put(m_backup / "a/Makefile", "vanished too");
    fs::create_directories(day() / "a");
    put(day() / "a/b.txt", "archived earlier today");
    put(day() / "a/Makefile", "archived earlier today");

    const BackupResult result = run();

    EXPECT_EQ(result.archivedFiles, 5);
    EXPECT_EQ(readFile(day() / "a/b.txt"), "archived earlier today");
    const auto names = namesIn(day() / "a");
    ASSERT_EQ(names.size(), 4u);
    EXPECT_TRUE(std::regex_match(names[1], std::regex("Makefile-[0-9A-F]{8}"))) << names[1];
    EXPECT_TRUE(std::regex_match(names[2], std::regex("b-[0-9A-F]{8}\\.txt"))) << names[2];
    EXPECT_TRUE(fs::is_directory(m_backup / "a")) << "emptied folders stay";
}

TEST_F(ArchivalTest, FoldersInTheTrashAreNoMoreOpenThanTheBackupFoldersTheyMirror)
{
    populate(4, 4);
    m_source.write("private/secret.txt", "s");
    m_source.write("shared/readme.txt", "r");
    ::chmod(m_source.root().c_str(), 0700);
    ::chmod(m_source.path("private").c_str(), 0700);
    ::chmod(m_source.path("shared").c_str(), 0755);
    run();
    fs::remove(m_source.path("private/secret.txt"));
    fs::remove(m_source.path("shared/readme.txt"));
    fs::remove(m_source.path("f0"));

    const BackupResult result = run();

    ASSERT_EQ(result.archivedFiles, 3);
    EXPECT_EQ(modesOf(day(), {".", "private", "shared"}), ". 0700\nprivate 0700\nshared 0755\n");

    // Another pair of the destination files into the same day: what one pair closed stays closed.
    TempTree open{{"kept.txt", "k"}, {"gone.txt", "g"}};
    ::chmod(open.root().c_str(), 0755);
    const fs::path otherBackup = m_destination / "Other";
    const auto backUpOther = [&] {
        return FileCopier(platform::systemFileSystem(), m_applications)
            .backup(open.root(), otherBackup, m_trash, ExclusionFilter::forProfile(BackupProfile::standard), {});
    };
    backUpOther();
    fs::remove(open.path("gone.txt"));
    backUpOther();
    EXPECT_EQ(readFile(day() / "gone.txt"), "g");
    EXPECT_EQ(modesOf(day(), {"."}), ". 0700\n");
}

TEST_F(ArchivalTest, ATakenNameAtTheLengthLimitGetsASuffixThatStillFits)
{
    const std::vector<std::string> names = {
        "a." + std::string(250, 'e'),                 // an extension longer than any suffix could leave room for
        std::string(255, 'x'),                        // no extension
        std::string(251, 'y') + ".txt",               // an ordinary extension
        std::string(241, 'z') + "\xc3\xa9" + std::string(7, 'z') + ".pdf", // a character not to be cut in two
    };
    populate(4, 4);
    for (const std::string& name : names) {
        put(m_backup / name, "vanished");
        put(day() / name, "archived earlier today");
    }

    const BackupResult result = run();

    EXPECT_TRUE(result.errors.empty()) << result.errors.front().description().toStdString();
    EXPECT_EQ(result.archivedFiles, int(names.size()));
    for (const std::string& name : namesIn(day())) {
        EXPECT_LE(name.size(), 255u);
        EXPECT_TRUE(platform::decodeUtf8(name).has_value()) << name;
    }
    EXPECT_EQ(namesIn(day()).size(), 2 * names.size());
}

TEST_F(ArchivalTest, NamesAreComparedAsCanonicallyEquivalentAndUndecodableNamesAsBytes)
{
    populate(10, 10);
    // "é" decomposed in the source, precomposed in the backup: the same file.
    m_source.write("Caf\x65\xcc\x81.txt", "x");
    put(m_backup / "Caf\xc3\xa9.txt", "x");
    m_source.write("bad\xff/name", "x");
    put(m_backup / "bad\xff/name", "x");
    put(m_backup / "bad\xfe/name", "x");

    const BackupResult result = run();

    EXPECT_TRUE(result.errors.empty());
    EXPECT_EQ(result.archivedFiles, 1);
    EXPECT_TRUE(fs::exists(m_backup / "Caf\xc3\xa9.txt"));
    EXPECT_TRUE(fs::exists(day() / "bad\xfe/name"));
}

TEST_F(ArchivalTest, ASourceThatGoesAwayBeforeArchivalStopsIt)
{
    populate(3, 2);
    const fs::path moved = m_destination / "moved";
    int visited = 0;
    const BackupResult result = run([&](double, const QString&) {
        if (++visited == 2)
            fs::rename(m_source.root(), moved);
    });
    fs::rename(moved, m_source.root());

    EXPECT_TRUE(result.abortedDueToVolumeLoss);
    EXPECT_EQ(result.archivedFiles, 0);
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_EQ(result.errors[0].code(), 1006);
    EXPECT_EQ(result.errors[0].description(),
              "Source became unreachable before archival — skipping archival to protect backups.");
    EXPECT_TRUE(fs::exists(m_backup / "f2"));
}

TEST_F(ArchivalTest, ABackupFolderGoneBeforeArchivalEndsTheRunAsALostVolume)
{
    populate(14, 12);
    const fs::path moved = m_destination / "moved";
    int visited = 0;
    // After the last tenth-file check, as a drive pulled at the very end leaves its mount point.
    const BackupResult result = run([&](double, const QString&) {
        if (++visited == 12) {
            fs::rename(m_backup, moved);
            fs::create_directory(m_backup);
        }
    });

    EXPECT_TRUE(result.abortedDueToVolumeLoss);
    EXPECT_EQ(result.archivedFiles, 0);
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_EQ(result.errors[0].operation(), "archive");
    EXPECT_EQ(result.errors[0].code(), 1007);
    EXPECT_TRUE(fs::exists(moved / "f13"));
    EXPECT_FALSE(fs::exists(m_trash));
}

// Real drives: a lazy unmount between the last check and archival, and a backup folder that is a
// drive of its own below a trash on the system disk. Moving there would copy the files off the
// drive and delete them from it.
TEST_F(ArchivalTest, NothingIsMovedToATrashOnAnotherFileSystemThanTheBackupFolder)
{
    const struct Case {
        const char* name;
        bool unmountBeforeArchival;
    } cases[] = {{"unmounted before archival", true}, {"backup folder mounted apart", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto outcome = runInPrivateMountNamespace([&]() -> std::string {
            const fs::path drive = m_destination / "drive";
            fs::create_directories(drive);
            const fs::path mountPoint = c.unmountBeforeArchival ? drive : drive / "Larkfold" / "Pair";
            fs::create_directories(mountPoint);
            if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=16m") != 0)
                return "no mount";
            m_backup = drive / "Larkfold" / "Pair";
            m_trash = drive / ".Larkfold-Trash";
            fs::create_directories(m_backup);
            populate(14, 12);
            int visited = 0;
            const BackupResult result = run([&](double, const QString&) {
                if (++visited == 12 && c.unmountBeforeArchival)
                    ::umount2(drive.c_str(), MNT_DETACH);
            });
            std::string summary = std::to_string(result.archivedFiles) + (result.abortedDueToVolumeLoss ? " lost" : "");
            for (const auto& error : result.errors)
                summary += " " + error.operation().toStdString() + " " + std::to_string(error.code());
            if (fs::exists(m_trash))
                summary += " trash made";
            if (!c.unmountBeforeArchival && !(fs::exists(m_backup / "f12") && fs::exists(m_backup / "f13")))
                summary += " files gone";
            return summary;
        });
        if (!outcome)
            GTEST_SKIP() << "cannot mount here";
        if (c.unmountBeforeArchival)
            EXPECT_EQ(*outcome, "0 lost archive 1007");
        else
            EXPECT_EQ(*outcome, "0 archive 18 archive 18");
    }
}

TEST_F(ArchivalTest, NothingBelowAnUnreadableSourceFolderCountsAsVanished)
{
    m_source.write("open/a", "a");
    m_source.write("locked/b", "b");
    m_source.write("locked/deeper/c", "c");
    ASSERT_EQ(run().copiedFiles, 3);
    ::chmod(m_source.root().c_str(), 0755);
    ::chmod(m_destination.path().c_str(), 0755);
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(m_destination.path(), ignored))
        ::lchown(entry.path().c_str(), 65534, 65534);
    ::chown(m_destination.path().c_str(), 65534, 65534);

    // 0444: the names can be listed, but nothing in the folder can be looked at.
    for (const mode_t mode : {mode_t(0), mode_t(0444)}) {
        SCOPED_TRACE(mode);
        ::chmod(m_source.path("locked").c_str(), mode);
        const auto outcome = runUnprivileged([&] {
            const BackupResult result = run();
            std::string summary = std::to_string(result.archivedFiles);
            for (const auto& error : result.errors)
                summary += " " + error.operation().toStdString() + ":"
                           + error.url().lexically_relative(m_source.root()).native();
            return summary;
        });
        ::chmod(m_source.path("locked").c_str(), 0755);
        if (!outcome)
            GTEST_SKIP() << "cannot run as an unprivileged user here";

        EXPECT_TRUE(outcome->starts_with("0 ")) << *outcome;
        EXPECT_NE(outcome->find(" archive:locked"), std::string::npos) << *outcome;
        EXPECT_TRUE(fs::exists(m_backup / "locked/b"));
        EXPECT_TRUE(fs::exists(m_backup / "locked/deeper/c"));
    }
}

TEST_F(ArchivalTest, ALinkStandingForTheTrashOrItsDayFolderIsNotFollowed)
{
    for (const bool linkedDay : {false, true}) {
        SCOPED_TRACE(linkedDay ? "day folder" : "trash");
        fs::remove_all(m_trash);
        fs::remove_all(m_backup);
        fs::create_directories(m_backup);
        populate(2, 1);
        TempDir elsewhere;
        if (linkedDay) {
            fs::create_directories(m_trash);
            fs::create_directory_symlink(elsewhere.path(), day());
        } else {
            fs::create_directory_symlink(elsewhere.path(), m_trash);
        }

        const BackupResult result = run();

        EXPECT_EQ(result.archivedFiles, 0);
        ASSERT_EQ(result.errors.size(), 1u);
        EXPECT_EQ(result.errors[0].operation(), "archive");
        EXPECT_TRUE(fs::exists(m_backup / "f1"));
        EXPECT_TRUE(fs::is_empty(elsewhere.path()));
    }
}

// FAT and exFAT drives ignore case and drop trailing dots and spaces, so a source name opens a
// backup file stored under another spelling. Hard links give a backup the same two names here.
TEST_F(ArchivalTest, ABackupFileThatASourceNameOpensUnderAnotherSpellingIsNotVanished)
{
    populate(10, 10);
    for (const auto& [stored, sourceName] : {std::pair{"Report.txt", "report.txt"}, std::pair{"notes", "notes. "},
                                              std::pair{"Docs/A.txt", "docs/a.txt"}}) {
        m_source.write(sourceName, "x");
        put(m_backup / stored, "x");
        const std::timespec sourceTime = modifiedTime(m_source.path(sourceName));
        setModifiedTime(m_backup / stored, sourceTime.tv_sec, sourceTime.tv_nsec);
        fs::create_directories((m_backup / sourceName).parent_path());
        if (!fs::exists(m_backup / sourceName))
            fs::create_hard_link(m_backup / stored, m_backup / sourceName);
    }
    put(m_backup / "gone.txt", "vanished");

    const BackupResult result = run();

    EXPECT_TRUE(result.errors.empty());
    EXPECT_EQ(result.archivedFiles, 1);
    EXPECT_TRUE(fs::exists(day() / "gone.txt"));
    EXPECT_TRUE(fs::exists(m_backup / "Report.txt"));
    EXPECT_TRUE(fs::exists(m_backup / "notes"));
    EXPECT_TRUE(fs::exists(m_backup / "Docs/A.txt"));
}
