#include "copy/EditorDetector.h"
#include "support/EventLoop.h"
#include "support/TempTree.h"

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include <unistd.h>

using namespace larkfold;
using larkfold::test::TempTree;
using Paths = std::unordered_set<std::string>;

namespace {

class FakeRunningApplications final : public platform::RunningApplications {
public:
    explicit FakeRunningApplications(std::vector<platform::RunningApplication> apps) : m_apps(std::move(apps)) {}
    std::vector<platform::RunningApplication> list() override { return m_apps; }

private:
    std::vector<platform::RunningApplication> m_apps;
};

} // namespace

TEST(EditorDetector, ParsesTheAbsoluteNamesOfLsofFieldOutput)
{
    struct Case {
        QByteArray output;
        Paths paths;
    };
    const Case cases[] = {
        {"p412\nf7\nn/Users/a/Edit.mov\n", {"/Users/a/Edit.mov"}},
        {"n\nnlocalhost:5000\nnpipe\nf3\nx/not/a/name\n\n", {}},
        {"p1\nn/a b/Caf\xc3\xa9.psd\nn/last/line/without/newline", {"/a b/Caf\xc3\xa9.psd", "/last/line/without/newline"}},
        {"n/ok\nn/bad\xff.mov\n", {}}, // not UTF-8: nothing is trusted
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output.constData());
        EXPECT_EQ(parseOpenFilePaths(c.output), c.paths);
    }
}

TEST(EditorDetector, JudgesAFileOpenWhenItOrSomethingInsideItIsHeld)
{
    const std::vector<std::string> editors{"Final Cut Pro"};
    const Paths open{"/P/Edit.fcpbundle/Data/Model.db", "/P/clip.mov", "/Q/"};
    struct Case {
        const char* path;
        bool isOpen;
    };
    const Case cases[] = {
        {"/P/clip.mov", true},
        {"/P/Edit.fcpbundle", true}, // a package taken whole
        {"/P/Edit.fcpbundle/", true},
        {"/P/Edit.fcp", false}, // a shared start of the name is not containment
        {"/P/CLIP.mov", false}, // names are case-sensitive
        {"/P/sub/../clip.mov", true},
        {"/P", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(isOpenInEditor(c.path, editors, open), c.isOpen);
    }
    EXPECT_FALSE(isOpenInEditor("/P/clip.mov", {}, open));
    EXPECT_FALSE(isOpenInEditor("/P/clip.mov", editors, {}));
}

TEST(EditorDetector, ResolvesSymbolicLinksBeforeComparing)
{
    TempTree tree{{"real/project.prproj", "x"}};
    tree.symlink("link", tree.path("real"));
    const std::string real = std::filesystem::canonical(tree.path("real/project.prproj")).native();
    EXPECT_TRUE(isOpenInEditor(tree.path("link/project.prproj"), {"Premiere Pro"}, {real}));
}

TEST(EditorDetector, AsksOnceForAllRunningEditorsAndNamesEachOnce)
{
    struct Case {
        const char* what;
        std::vector<platform::RunningApplication> apps;
        std::vector<std::string> names;
        std::vector<std::string> listerCalls;
    };
    const Case cases[] = {
        {"one editor under two identifiers",
         {{"com.adobe.PremierePro.27", 11}, {"org.gnome.Nautilus", 5}, {"com.adobe.PremierePro.24", 12}},
         {"Premiere Pro"},
         {"11,12"}},
        {"names in byte order, capitals first",
         {{"com.apple.iMovieApp", 30}, {"com.apple.Photos", 20}},
         {"Photos", "iMovie"},
         {"30,20"}},
        {"ids below 1 and unnamed processes are passed over",
         {{"com.adobe.Photoshop", 0}, {"com.adobe.Audition", -4}, {std::nullopt, 9}, {"com.adobe.photoshop", 8}},
         {},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRunningApplications apps(c.apps);
        std::vector<std::string> calls;
        const RunningEditorFiles found = runningEditorFiles(apps, [&](const std::string& pids) {
            calls.push_back(pids);
            return Paths{"/held"};
        });
        EXPECT_EQ(found.editorNames, c.names);
        EXPECT_EQ(calls, c.listerCalls);
        EXPECT_EQ(found.openPaths, c.names.empty() ? Paths{} : Paths{"/held"});
    }
}

namespace {

// A real process that holds `file` open as `program` runs; waits until it has exec'd and its
// environment can be read: the kernel points /proc/<pid>/exe at the new program a moment before
// the new environment is in place.
void startHolder(QProcess& process, const std::filesystem::path& program, const std::filesystem::path& file,
                 const QProcessEnvironment& environment)
{
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exec 3<\"$1\"; exec \"$0\" 30"),
                                             QString::fromStdString(program.native()),
                                             QString::fromStdString(file.native())});
    ASSERT_TRUE(process.waitForStarted());
    const auto exe = "/proc/" + std::to_string(process.processId()) + "/exe";
    const auto environ = "/proc/" + std::to_string(process.processId()) + "/environ";
    ASSERT_TRUE(larkfold::test::spinUntil([&] {
        std::error_code ec;
        if (std::filesystem::read_symlink(exe, ec).filename() != program.filename())
            return false;
        std::ifstream in(environ, std::ios::binary);
        return in.get() != std::ifstream::traits_type::eof();
    }, 30000));
}

// The machine's processes narrowed to this test's own, so that editors other tests start at the
// same time are not counted.
class OwnProcesses final : public platform::RunningApplications {
public:
    explicit OwnProcesses(std::vector<pid_t> pids) : m_pids(std::move(pids)) {}
    std::vector<platform::RunningApplication> list() override
    {
        std::vector<platform::RunningApplication> own;
        for (const auto& app : platform::ProcRunningApplications().list()) {
            if (std::find(m_pids.begin(), m_pids.end(), app.pid) != m_pids.end())
                own.push_back(app);
        }
        return own;
    }

private:
    std::vector<pid_t> m_pids;
};

} // namespace

TEST(EditorDetector, FindsTheFilesThatRunningEditorsHoldOpenThroughLsof)
{
    if (QStandardPaths::findExecutable(QStringLiteral("lsof")).isEmpty())
        GTEST_SKIP() << "lsof is not installed";
    TempTree tree{{"Caf\xc3\xa9.psd", "layers"}, {"Grade.drp", "nodes"}, {"notes.txt", "idle"}};
    // DaVinci Resolve is known by its executable; a copy of sleep stands in for it.
    const auto resolve = tree.path("bin/resolve");
    std::filesystem::create_directories(resolve.parent_path());
    std::filesystem::copy_file(QStandardPaths::findExecutable(QStringLiteral("sleep")).toStdString(), resolve);

    QProcess resolveProcess;
    startHolder(resolveProcess, resolve, tree.path("Grade.drp"), QProcessEnvironment::systemEnvironment());
    QProcess photoshop;
    QProcessEnvironment launched = QProcessEnvironment::systemEnvironment();
    launched.insert(QStringLiteral("GIO_LAUNCHED_DESKTOP_FILE"),
                    QStringLiteral("/usr/share/applications/com.adobe.Photoshop.desktop"));
    startHolder(photoshop, QStandardPaths::findExecutable(QStringLiteral("sleep")).toStdString(),
                tree.path("Caf\xc3\xa9.psd"), launched);

    // In the C locale lsof would escape the "é"; the query must still find the file.
    const std::string oldLang = std::getenv("LANG") ? std::getenv("LANG") : "";
    setenv("LANG", "C", 1);
    OwnProcesses apps({pid_t(resolveProcess.processId()), pid_t(photoshop.processId())});
    // lsof gets all the time a loaded machine needs; the product's own limit is for backups.
    const RunningEditorFiles found = runningEditorFiles(
        apps, [](const std::string& pids) { return openFilePaths(pids, std::chrono::minutes(1)); });
    setenv("LANG", oldLang.c_str(), 1);
    EXPECT_EQ(found.editorNames, (std::vector<std::string>{"DaVinci Resolve", "Photoshop"}));
    EXPECT_TRUE(isOpenInEditor(tree.path("Grade.drp"), found.editorNames, found.openPaths));
    EXPECT_TRUE(isOpenInEditor(tree.path("Caf\xc3\xa9.psd"), found.editorNames, found.openPaths));
    EXPECT_TRUE(isOpenInEditor(tree.root(), found.editorNames, found.openPaths));
    EXPECT_FALSE(isOpenInEditor(tree.path("notes.txt"), found.editorNames, found.openPaths));

    for (QProcess* process : {&resolveProcess, &photoshop}) {
        process->kill();
        process->waitForFinished();
    }
}

TEST(EditorDetector, WithoutLsofNothingIsOpen)
{
    const std::string oldPath = std::getenv("PATH");
    setenv("PATH", "/nonexistent", 1);
    EXPECT_EQ(openFilePaths(std::to_string(getpid())), Paths{});
    setenv("PATH", oldPath.c_str(), 1);
}
