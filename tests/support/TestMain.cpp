#include <QCoreApplication>
#if defined(LARKFOLD_TEST_WIDGETS) || defined(LARKFOLD_TEST_DISPLAY)
#include <QApplication>
using TestApplication = QApplication;
#elif defined(LARKFOLD_TEST_GUI)
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#else
using TestApplication = QCoreApplication;
#endif
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#if defined(LARKFOLD_TEST_DISPLAY)
#include "support/TestDisplay.h"

namespace {
const larkfold::test::PrivateXServer* g_xServer = nullptr;
const larkfold::test::PrivateSessionBus* g_sessionBus = nullptr;
} // namespace

const larkfold::test::PrivateXServer* larkfold::test::testXServer()
{
    return g_xServer;
}

const larkfold::test::PrivateSessionBus& larkfold::test::testSessionBus()
{
    return *g_sessionBus;
}
#endif

namespace {

// Each test process gets its own home, so QSettings, QStandardPaths and the store never touch the user's.
std::filesystem::path makePrivateHome()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "larkfold-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        std::abort();
    const std::filesystem::path home(pattern);
    for (const char* sub : {".local/share", ".config", ".cache", "runtime"})
        std::filesystem::create_directories(home / sub);
    std::filesystem::permissions(home / "runtime", std::filesystem::perms::owner_all);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home / ".cache").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/larkfold-test-system-bus", 1);
    return home;
}

} // namespace

int main(int argc, char** argv)
{
    const std::filesystem::path home = makePrivateHome();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
#if defined(LARKFOLD_TEST_DISPLAY)
    // Both before the application: Qt reaches for the session bus and the display as it starts.
    larkfold::test::PrivateSessionBus sessionBus;
    if (!sessionBus.isRunning()) {
        std::fprintf(stderr, "Cannot start a private dbus-daemon\n");
        return 1;
    }
    sessionBus.exportAsSessionBus();
    g_sessionBus = &sessionBus;
    std::optional<larkfold::test::PrivateXServer> xServer;
    if (larkfold::test::PrivateXServer::isAvailable()) {
        xServer.emplace();
        if (!xServer->isRunning()) {
            std::fprintf(stderr, "Cannot start a private Xvfb\n");
            return 1;
        }
        xServer->exportAsDisplay();
        g_xServer = &*xServer;
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    // The machine's desktop must not choose Qt's platform theme (and so its tray) for the tests.
    unsetenv("XDG_CURRENT_DESKTOP");
    unsetenv("QT_QPA_PLATFORMTHEME");
#endif
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
#if defined(LARKFOLD_TEST_WIDGETS) || defined(LARKFOLD_TEST_DISPLAY)
    // A text cursor that does not blink, so a window is drawn the same at any moment.
    QApplication::setCursorFlashTime(0);
#endif
    int result = 1;
    QTimer::singleShot(0, &app, [&] {
        result = RUN_ALL_TESTS();
        QCoreApplication::exit(0);
    });
    app.exec();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return result;
}
