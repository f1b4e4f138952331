#include "platform/X11WorkspaceSource.h"
#include "support/EventLoop.h"
#include "support/LogCapture.h"
#include "support/PrivateXServer.h"

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace larkfold::platform;
using larkfold::test::LogCapture;
using larkfold::test::PrivateXServer;
using larkfold::test::spinFor;
using larkfold::test::spinUntil;

namespace {

// What a window manager does when the user switches desktops.
bool setCurrentDesktop(const PrivateXServer& server, int desktop)
{
    return QProcess::execute(QStringLiteral("xprop"),
                             {QStringLiteral("-display"), QString::fromLatin1(server.display()), QStringLiteral("-root"),
                              QStringLiteral("-f"), QStringLiteral("_NET_CURRENT_DESKTOP"), QStringLiteral("32c"),
                              QStringLiteral("-set"), QStringLiteral("_NET_CURRENT_DESKTOP"), QString::number(desktop)})
           == 0;
}

} // namespace

TEST(X11WorkspaceSource, ReportsEachChangeOfTheCurrentDesktop)
{
    if (!PrivateXServer::isAvailable() || QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty())
        GTEST_SKIP() << "Xvfb or xprop (x11-utils) is not installed";
    PrivateXServer server(64, 64);
    ASSERT_TRUE(server.isRunning());
    server.exportAsDisplay();
    // Before any window manager has set the property.
    const std::unique_ptr<WorkspaceSource> source = createWorkspaceSource(QStringLiteral("xcb"));
    const auto* x11 = dynamic_cast<X11WorkspaceSource*>(source.get());
    ASSERT_TRUE(x11 && x11->isWatching());
    int switches = 0;
    QObject::connect(source.get(), &WorkspaceSource::activeWorkspaceChanged, [&] { ++switches; });

    ASSERT_TRUE(setCurrentDesktop(server, 1));
    ASSERT_TRUE(spinUntil([&] { return switches == 1; }));
    // Written again unchanged, it is no switch.
    ASSERT_TRUE(setCurrentDesktop(server, 1));
    ASSERT_TRUE(setCurrentDesktop(server, 0));
    ASSERT_TRUE(spinUntil([&] { return switches >= 2; }));
    spinFor(100);
    EXPECT_EQ(switches, 2);
    unsetenv("DISPLAY");
}

TEST(X11WorkspaceSource, ElsewhereNothingIsReportedAndThatIsLogged)
{
    LogCapture log;
    X11WorkspaceSource noServer(QByteArrayLiteral(":9999"));
    EXPECT_FALSE(noServer.isWatching());
    EXPECT_TRUE(log.contains(QStringLiteral("Workspace switches are not seen: no connection to the X server")));

    for (const char* platform : {"wayland", "offscreen"}) {
        SCOPED_TRACE(platform);
        const std::unique_ptr<WorkspaceSource> source = createWorkspaceSource(QString::fromLatin1(platform));
        EXPECT_EQ(dynamic_cast<X11WorkspaceSource*>(source.get()), nullptr);
        EXPECT_TRUE(log.contains(QStringLiteral("Workspace switches are not seen on the %1 platform").arg(platform)));
    }
}
