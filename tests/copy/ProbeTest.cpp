// End to end: the probe executable runs one backup on real folders and prints its result.
#include "CopyRunFixture.h"
#include "platform/Json.h"
#include "support/ChildProcess.h"
#include "support/TempTree.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/mount.h>
#include <sys/stat.h>

using namespace larkfold;
using namespace larkfold::test;
using platform::Json;
namespace fs = std::filesystem;

namespace {

constexpr int kNobody = 65534;

struct ProbeRun {
    int exitCode = -1;
    std::string output;
    Json json() const { return platform::parseJson(output); }
};

fs::path probePath()
{
    const char* binary = std::getenv("LARKFOLD_BINARY_DIR");
    return fs::path(binary ? binary : ".") / "tests/copy/probe/larkfold-probe";
}

// Runs the probe, as the unprivileged user "nobody" when asked (root ignores permissions).
ProbeRun runProbe(QStringList arguments, bool asNobody = false)
{
    QString program = QString::fromStdString(probePath().native());
    if (asNobody) {
        arguments = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + arguments;
        program = "setpriv";
    }
    QProcess probe;
    probe.start(program, arguments);
    probe.waitForFinished(60000);
    return {probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : -1, probe.readAllStandardOutput().toStdString()};
}

QString q(const fs::path& path)
{
    return QString::fromStdString(path.native());
}

// Makes a folder and everything in it reachable and owned by "nobody".
void giveToNobody(const fs::path& folder)
{
    ::chmod(folder.c_str(), 0755);
    ::chown(folder.c_str(), kNobody, kNobody);
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ignored))
        ::lchown(entry.path().c_str(), kNobody, kNobody);
}

} // namespace

TEST(ProbeTest, HelpSaysHowToRunIt)
{
    const ProbeRun help = runProbe({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find(
                  "Usage: larkfold-probe [--profile NAME] [--bandwidth MODE] [--workers N] SOURCE BACKUP TRASH"),
              std::string::npos);
    EXPECT_EQ(runProbe({"--profile", "Film", "a", "b", "c"}).exitCode, 2);
    EXPECT_EQ(runProbe({"--workers", "0", "a", "b", "c"}).exitCode, 2);
    EXPECT_EQ(runProbe({"--workers", "4x", "a", "b", "c"}).exitCode, 2);
    EXPECT_EQ(runProbe({"only-one"}).exitCode, 2);
}

TEST(ProbeTest, BadInputStopsTheRunBeforeAnythingIsWritten)
{
    const struct Case {
        const char* label;
        int code;
        const char* message;
    } cases[] = {
        {"destination is a link", 1003,
         "Destination path is a symbolic link — refusing to write to prevent data redirection."},
        {"source unreadable", 1004, "Source folder is not readable — check permissions or reconnect the drive."},
        {"destination not writable", 1005, "Destination folder is not writable — check permissions or disk space."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempTree source{{"a.txt", "a"}};
        TempDir destination;
        fs::path backup = destination / "backup";
        bool asNobody = false;
        if (c.code == 1003) {
            fs::create_directory(destination / "elsewhere");
            fs::create_directory_symlink(destination / "elsewhere", backup);
        } else {
            asNobody = ::geteuid() == 0;
            if (!asNobody)
                GTEST_SKIP() << "needs root to act as another user";
            giveToNobody(source.root());
            ::chmod(destination.path().c_str(), 0755); // root's, so nobody cannot write in it
            fs::create_directory(backup);
            if (c.code == 1004)
                ::chmod(source.root().c_str(), 0);
        }

        const ProbeRun run = runProbe({q(source.root()), q(backup), q(destination / "trash")}, asNobody);

        ASSERT_EQ(run.exitCode, 1) << run.output;
        const Json error = run.json().at("error");
        EXPECT_EQ(error.at("code"), c.code);
        EXPECT_EQ(error.at("domain"), "Larkfold");
        EXPECT_EQ(error.at("message"), c.message);
        EXPECT_TRUE(namesIn(destination / "elsewhere").empty());
        EXPECT_TRUE(namesIn(backup).empty());
        ::chmod(source.root().c_str(), 0755);
    }
}

TEST(ProbeTest, AFullDestinationFailsTheFileAndKeepsItsOldCopy)
{
    TempTree source{{"notes.bin", "old notes"}, {"film.mov", "old film"}};
    TempDir destination;
    const fs::path mountPoint = destination / "drive";
    fs::create_directory(mountPoint);

    const auto outcome = runInPrivateMountNamespace([&]() -> std::string {
        if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=1m") != 0)
            return "no mount";
        const QStringList arguments{"--bandwidth", "full", q(source.root()), q(mountPoint / "backup"),
                                    q(mountPoint / "trash")};
        if (runProbe(arguments).exitCode != 0)
            return "first run failed";
        writeFile(source.path("notes.bin"), std::string(2 * kMebibyte, 'n'));
        // More data than the drive holds (holes would cost it nothing).
        writeFile(source.path("film.mov"), std::string(2 * kMebibyte, 'f'));
        fs::resize_file(source.path("film.mov"), 64 * kMebibyte);

        const ProbeRun full = runProbe(arguments);
        std::string summary = std::to_string(full.exitCode);
        const Json result = full.json();
        for (const Json& error : result.at("errors"))
            summary += " " + error.at("operation").get<std::string>() + ":" + std::to_string(error.at("code").get<int>());
        summary += " | " + readFile(mountPoint / "backup/notes.bin") + " | " + readFile(mountPoint / "backup/film.mov");
        for (const auto& name : namesIn(mountPoint / "backup"))
            if (name != "notes.bin" && name != "film.mov" && name != ".larkfold-lock" && !name.starts_with(".larkresume-"))
                summary += " | stray " + name;
        return summary;
    });
    if (!outcome || *outcome == "no mount")
        GTEST_SKIP() << "no private mount namespace with tmpfs here";

    // ENOSPC for each file; both old copies stay whole under their names.
    EXPECT_EQ(*outcome, "0 copy:28 copy:28 | old notes | old film");
}

TEST(ProbeTest, OddNamesAreCopiedAsTheirBytes)
{
    const std::string longName = std::string(251, 'L') + ".txt";
    TempTree source{{"line\nbreak.txt", "newline"}, {"bad\xff.txt", "not UTF-8"}, {longName, "255 bytes"}};
    TempDir destination;
    const QStringList arguments{q(source.root()), q(destination / "backup"), q(destination / "trash")};

    const ProbeRun first = runProbe(arguments);

    ASSERT_EQ(first.exitCode, 0) << first.output;
    const Json result = first.json();
    EXPECT_EQ(result.at("copiedFiles"), 3);
    EXPECT_TRUE(result.at("errors").empty());
    EXPECT_EQ(readFile(destination / "backup/line\nbreak.txt"), "newline");
    EXPECT_EQ(readFile(destination / "backup/bad\xff.txt"), "not UTF-8");
    EXPECT_EQ(readFile(destination / "backup" / longName), "255 bytes");
    bool undecodableReported = false;
    for (const Json& path : result.at("copiedRelativePaths"))
        undecodableReported |= path.is_object() && path.at("base64") == "YmFk/y50eHQ=";
    EXPECT_TRUE(undecodableReported);

    const Json again = runProbe(arguments).json();
    EXPECT_EQ(again.at("copiedFiles"), 0);
    EXPECT_EQ(again.at("archivedFiles"), 0);
    EXPECT_TRUE(again.at("errors").empty());
}
