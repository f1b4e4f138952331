// Set-up time of the inotify watcher on trees of 10,000 and 100,000 folders, against `find -type d`
// walking the same tree, and the delay from a write in the tree to the watcher's callback on the main
// thread (the product's 0.5 s batch included).
//   bench_file_watcher [runs]
// The trees are made under $TMPDIR (or /tmp) and removed after.

#include "engine/FileWatcher.h"
#include "platform/InotifyFileEvents.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kDefaultRuns = 5;
constexpr int kTopFolders = 100;
constexpr int kDelayRuns = 10;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// `folders` folders below root: kTopFolders at the top, the rest spread evenly under them.
void makeTree(const fs::path& root, int folders)
{
    const int perTop = folders / kTopFolders - 1;
    for (int t = 0; t < kTopFolders; ++t) {
        const fs::path top = root / ("top" + std::to_string(t));
        fs::create_directory(top);
        for (int c = 0; c < perTop; ++c)
            fs::create_directory(top / ("folder" + std::to_string(c)));
    }
}

double timeFind(const fs::path& root)
{
    std::fflush(stdout); // the child must not write our buffered lines a second time
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int devNull = open("/dev/null", O_WRONLY);
        if (devNull < 0 || dup2(devNull, STDOUT_FILENO) < 0)
            _exit(127);
        execlp("find", "find", root.c_str(), "-type", "d", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return msSince(start);
}

void benchSetUp(const fs::path& base, int folders, int runs)
{
    const fs::path root = base / ("tree" + std::to_string(folders));
    fs::create_directory(root);
    makeTree(root, folders);

    std::vector<double> setUp;
    std::vector<double> startCall;
    std::vector<double> find;
    std::size_t watched = 0;
    for (int run = 0; run < runs; ++run) {
        find.push_back(timeFind(root));
        larkfold::platform::InotifyFileEvents events;
        const auto start = Clock::now();
        if (events.start(root, [](const larkfold::platform::FileEventBatch&) {})) {
            std::fprintf(stderr, "could not watch %s\n", root.c_str());
            std::exit(1);
        }
        startCall.push_back(msSince(start));
        while (!events.isSetUp())
            QThread::usleep(200);
        setUp.push_back(msSince(start));
        watched = events.watchCount();
    }
    const double medianSetUp = median(setUp);
    std::printf("%7d folders: set-up %8.1f ms median (best %.1f), %zu watches; start() on the main thread %.2f ms; "
                "find -type d %.1f ms; set-up / find = %.2f\n",
                folders, medianSetUp, *std::min_element(setUp.begin(), setUp.end()), watched, median(startCall),
                median(find), medianSetUp / median(find));
    fs::remove_all(root);
}

void benchDelay(const fs::path& base, int folders)
{
    const fs::path root = base / "delay";
    fs::create_directory(root);
    makeTree(root, folders);

    auto events = std::make_unique<larkfold::platform::InotifyFileEvents>();
    auto* raw = events.get();
    larkfold::FileWatcher watcher(std::move(events));
    QEventLoop loop;
    QTimer guard;
    QTimer settle;
    guard.setSingleShot(true);
    settle.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&settle, &QTimer::timeout, &loop, &QEventLoop::quit);
    Clock::time_point wrote;
    double delay = 0;
    watcher.setOnEventsDetected([&] {
        if (settle.isActive())
            return;
        delay = msSince(wrote);
        loop.quit();
    });
    if (watcher.start(root)) {
        std::fprintf(stderr, "could not watch %s\n", root.c_str());
        std::exit(1);
    }
    while (!raw->isSetUp())
        QThread::usleep(200);

    std::vector<double> delays;
    for (int run = 0; run < kDelayRuns; ++run) {
        const fs::path file = root / ("top" + std::to_string(run * 7 % kTopFolders)) / "folder3" / "file.txt";
        wrote = Clock::now();
        std::ofstream(file, std::ios::binary) << "changed " << run;
        delay = -1;
        guard.start(5000);
        loop.exec();
        guard.stop();
        if (delay < 0) {
            std::fprintf(stderr, "no callback within 5 s\n");
            std::exit(1);
        }
        delays.push_back(delay);
        // Let the batch window close before the next write.
        settle.start(700);
        loop.exec();
    }
    std::printf("write to callback (%d folders watched): %.1f ms median, %.1f ms best, %.1f ms worst of %d\n", folders,
                median(delays), *std::min_element(delays.begin(), delays.end()),
                *std::max_element(delays.begin(), delays.end()), kDelayRuns);
    fs::remove_all(root);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultRuns;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = (fs::path(tmp && *tmp ? tmp : "/tmp") / "larkfold-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        return 1;
    const fs::path base(pattern);

    benchSetUp(base, 10000, runs);
    benchSetUp(base, 100000, runs);
    benchDelay(base, 10000);
    fs::remove_all(base);
    return 0;
}
