#include <QCoreApplication>
#if defined(LARKFOLD_TEST_WIDGETS)
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

#include <cstdlib>
#include <filesystem>
#include <string>

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
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
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
