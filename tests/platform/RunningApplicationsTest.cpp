#include "platform/RunningApplications.h"
#include "support/TempTree.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

using namespace larkfold::platform;
using larkfold::test::TempTree;

TEST(ProcRunningApplications, NamesEachProcessAsTheEditorTableDoes)
{
    struct Case {
        const char* pid;
        const char* exe; // nullptr: no readable executable
        std::string environ;
        std::optional<std::string> identifier;
    };
    using namespace std::string_literals;
    const Case cases[] = {
        // A known Linux editor keeps the table's identifier whatever launched it.
        {"40", "/opt/resolve/bin/resolve", "GIO_LAUNCHED_DESKTOP_FILE=/usr/share/applications/x.desktop\0"s,
         "com.blackmagic-design.DaVinciResolve"},
        {"41", "/opt/resolve/bin/resolve (deleted)", "", "com.blackmagic-design.DaVinciResolve"},
        {"50", "/usr/bin/gimp", "A=1\0GIO_LAUNCHED_DESKTOP_FILE=/usr/share/applications/org.gimp.GIMP.desktop\0"s,
         "org.gimp.GIMP"},
        {"60", "/app/bin/kdenlive", "FLATPAK_ID=org.kde.kdenlive\0"s, "org.kde.kdenlive"},
        {"70", "/usr/bin/ardour8", "XGIO_LAUNCHED_DESKTOP_FILE=nope.desktop\0"s, "ardour8"},
        {"80", nullptr, "", std::nullopt},
    };
    TempTree proc;
    for (const Case& c : cases) {
        proc.write(std::string(c.pid) + "/environ", c.environ);
        if (c.exe)
            proc.symlink(std::string(c.pid) + "/exe", c.exe);
    }
    proc.write("self/environ", "");
    proc.write("meminfo", "");

    const auto listed = ProcRunningApplications(proc.root()).list();
    ASSERT_EQ(listed.size(), std::size(cases));
    for (size_t i = 0; i < listed.size(); ++i) {
        SCOPED_TRACE(cases[i].pid);
        EXPECT_EQ(listed[i].pid, std::stoi(cases[i].pid));
        EXPECT_EQ(listed[i].identifier, cases[i].identifier);
    }
}

TEST(ProcRunningApplications, FindsARealChildByTheDesktopFileItWasLaunchedWith)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("GIO_LAUNCHED_DESKTOP_FILE"),
                       QStringLiteral("/usr/share/applications/com.example.Editor.desktop"));
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(child.waitForStarted());

    const auto listed = ProcRunningApplications().list();
    const auto found = std::find_if(listed.begin(), listed.end(),
                                    [&](const auto& app) { return app.pid == child.processId(); });
    ASSERT_NE(found, listed.end());
    EXPECT_EQ(found->identifier, "com.example.Editor");
    EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end(), [](auto& a, auto& b) { return a.pid < b.pid; }));
    child.kill();
    child.waitForFinished();
}
