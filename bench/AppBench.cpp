// The running application as a user leaves it: three pairs, one of them on a large source, on a
// private X server and session bus with a stand-in panel. Measures the time from start to the tray
// item's registration; resident memory and CPU time over idle seconds once every engine says it is
// idle (the tray's tooltip reads "Up to date" only when every pair's status is idle, which a job
// sets after its after-run steps and their 5 s wait), the idle window starting then; and how long
// a quit takes in the middle of a large first backup. Run by hand:
//
//   bench_app [--files N] [--idle-seconds S] [--runs R] [--program PATH]   (defaults 100000, 60, 3,
//                                                                            the build's larkfold)
#include "platform/Json.h"
#include "store/AppConfig.h"
#include "store/BackupPair.h"
#include "support/EventLoop.h"
#include "support/FakeStatusNotifierWatcher.h"
#include "support/StatusNotifierItemClient.h"
#include "support/PairRecord.h"
#include "support/PrivateSessionBus.h"
#include "support/PrivateXServer.h"
#include "support/TempTree.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;

namespace {

struct Options {
    int files = 100000;
    int idleSeconds = 60;
    int runs = 3;
};

void makeSource(const fs::path& root, int files)
{
    // 100 files a folder, small ones as a photo library's sidecars would be.
    for (int i = 0; i < files; ++i) {
        if (i % 100 == 0)
            fs::create_directories(root / ("d" + std::to_string(i / 100)));
        writeFile(root / ("d" + std::to_string(i / 100)) / ("f" + std::to_string(i) + ".txt"),
                  std::string(200 + i % 3000, char('a' + i % 26)));
    }
}

double cpuSeconds(qint64 pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int index = 3; rest >> field; ++index) {
        if (index == 14)
            utime = std::stoll(field);
        if (index == 15) {
            stime = std::stoll(field);
            break;
        }
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

long residentKiB(qint64 pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

struct Session {
    Session(const fs::path& home, const PrivateXServer& x, const PrivateSessionBus& bus) : home(home)
    {
        env = QProcessEnvironment::systemEnvironment();
        const QString h = QString::fromStdString(home.string());
        env.insert("HOME", h);
        env.insert("XDG_DATA_HOME", h + "/.local/share");
        env.insert("XDG_CONFIG_HOME", h + "/.config");
        env.insert("XDG_RUNTIME_DIR", h + "/runtime");
        env.insert("DISPLAY", QString::fromLatin1(x.display()));
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
        fs::create_directories(home / "runtime");
        fs::permissions(home / "runtime", fs::perms::owner_all);
    }

    void writeConfig(const std::vector<BackupPair>& pairs) const
    {
        AppConfig config;
        config.hasCompletedOnboarding = true;
        config.launchAtLogin = false;
        config.bandwidthMode = AppConfig::BandwidthMode::full;
        platform::Json list = platform::Json::array();
        for (const BackupPair& pair : pairs)
            list.push_back(pair.toJson());
        fs::create_directories(dataDir());
        writeFile(dataDir() / "config.json",
                  platform::encodeJsonPretty(platform::Json{{"appConfig", config.toJson()}, {"pairs", list}}));
    }

    bool allBackedUp(std::size_t count) const
    {
        const std::string text = readFile(dataDir() / "config.json");
        if (text.empty())
            return false;
        const platform::Json saved = platform::parseJson(text);
        if (saved["pairs"].size() < count)
            return false;
        for (const auto& pair : saved["pairs"])
            if (!BackupPair::fromJson(pair).lastBackupAt)
                return false;
        return true;
    }

    fs::path dataDir() const { return home / ".local/share/Larkfold"; }

    fs::path home;
    QProcessEnvironment env;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void report(const char* what, std::vector<double> values, const char* unit, double target, bool below)
{
    std::sort(values.begin(), values.end());
    const double m = median(values);
    std::printf("%-34s median %9.3f %s (%.3f–%.3f)   target %s %.3f %s: %s\n", what, m, unit, values.front(),
                values.back(), below ? "<" : ">", target, unit, (below ? m < target : m > target) ? "met" : "NOT met");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    QString program = QCoreApplication::applicationDirPath() + "/../src/app/larkfold";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (flag == "--program")
            program = QString::fromLocal8Bit(argv[i + 1]);
        if (flag == "--files")
            options.files = value;
        else if (flag == "--idle-seconds")
            options.idleSeconds = value;
        else if (flag == "--runs")
            options.runs = value;
    }
    PrivateXServer x;
    PrivateSessionBus bus;
    if (!x.isRunning() || !bus.isRunning()) {
        std::fprintf(stderr, "needs Xvfb and dbus-daemon\n");
        return 1;
    }
    TempDir work;
    std::printf("Making a source of %d files…\n", options.files);
    makeSource(work / "large", options.files);
    for (const char* name : {"docs", "music"})
        writeFiles(work / name, 50, "f");

    std::vector<double> toItem, afterRunSeconds, memoryMB, idleCpu, quit;
    for (int run = 0; run < options.runs; ++run) {
        // Idle: every first backup done, the watchers in place.
        {
            TempDir home;
            Session session(home.path(), x, bus);
            fs::remove_all(work / "dest");
            fs::create_directories(work / "dest");
            session.writeConfig({pairRecord("Docs", work / "docs", work / "dest"),
                                 pairRecord("Music", work / "music", work / "dest"),
                                 pairRecord("Large", work / "large", work / "dest")});
            FakeStatusNotifierWatcher watcher(bus.address());
            QProcess larkfold;
            larkfold.setProcessEnvironment(session.env);
            QElapsedTimer clock;
            clock.start();
            larkfold.start(program, {});
            spinUntil([&] { return !watcher.items().isEmpty(); }, 30000);
            toItem.push_back(clock.elapsed() / 1000.0);
            spinUntil([&] { return session.allBackedUp(3); }, 600000);
            StatusNotifierItemClient item(bus.connection(QStringLiteral("panel")), watcher.items().value(0));
            QElapsedTimer settling;
            settling.start();
            if (!spinUntil([&] { return item.toolTipTitle() == QStringLiteral("Up to date"); }, 600000)) {
                std::fprintf(stderr, "the engines did not become idle\n");
                return 1;
            }
            afterRunSeconds.push_back(settling.elapsed() / 1000.0);
            const double before = cpuSeconds(larkfold.processId());
            spinFor(options.idleSeconds * 1000);
            idleCpu.push_back(100.0 * (cpuSeconds(larkfold.processId()) - before) / options.idleSeconds);
            memoryMB.push_back(residentKiB(larkfold.processId()) * 1024.0 / 1e6);
            larkfold.terminate();
            larkfold.waitForFinished(30000);
        }
        // A quit during the large first backup.
        {
            TempDir home;
            Session session(home.path(), x, bus);
            fs::remove_all(work / "dest");
            fs::create_directories(work / "dest");
            session.writeConfig({pairRecord("Large", work / "large", work / "dest")});
            FakeStatusNotifierWatcher watcher(bus.address());
            QProcess larkfold;
            larkfold.setProcessEnvironment(session.env);
            larkfold.start(program, {});
            spinUntil([&] { return fs::exists(work / "dest/Larkfold/Large/d10"); }, 120000);
            QElapsedTimer clock;
            clock.start();
            ::kill(pid_t(larkfold.processId()), SIGTERM);
            larkfold.waitForFinished(60000);
            quit.push_back(clock.elapsed() / 1000.0);
        }
    }
    std::printf("\n%d runs, %d files in the large source, %d idle seconds\n", options.runs, options.files,
                options.idleSeconds);
    report("start to tray item registered", toItem, "s", 1.0, true);
    std::sort(afterRunSeconds.begin(), afterRunSeconds.end());
    std::printf("%-34s median %9.3f s (%.3f–%.3f)\n", "last backup saved to every pair idle", median(afterRunSeconds),
                afterRunSeconds.front(), afterRunSeconds.back());
    report("resident memory after idle window", memoryMB, "MB", 60, true);
    report("CPU when idle (% of one core)", idleCpu, "%", 0.1, true);
    report("quit during a large first backup", quit, "s", 3.0, true);
    return 0;
}
