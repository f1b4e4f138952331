// The source scan and the destination scan against `find <tree> -printf '%s %T@ %p\n'` on the
// same tree, warm (everything in the dentry and inode caches), best of several runs.
//   bench_scan <tree> [runs]
// A missing <tree> is first made: 100,000 files in 6,000 folders.

#include "copy/FileCopier.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kTopFolders = 40;
constexpr int kSubfoldersEach = 149; // 40 + 40 * 149 = 6,000 folders
constexpr int kFiles = 100'000;
constexpr int kDefaultRuns = 7;

void makeTree(const fs::path& root)
{
    std::vector<fs::path> folders;
    for (int top = 0; top < kTopFolders; ++top) {
        const fs::path topFolder = root / ("Project " + std::to_string(top));
        folders.push_back(topFolder);
        for (int sub = 0; sub < kSubfoldersEach; ++sub)
            folders.push_back(topFolder / ("take_" + std::to_string(sub)));
    }
    for (const auto& folder : folders)
        fs::create_directories(folder);
    const std::string content(64, 'x');
    for (int i = 0; i < kFiles; ++i) {
        const fs::path file = folders[i % folders.size()] / ("IMG_" + std::to_string(100000 + i) + ".jpg");
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, content.data(), i % content.size()) < 0) {
            std::perror(file.c_str());
            std::exit(1);
        }
        ::close(fd);
    }
}

double bestSeconds(int runs, const std::function<void()>& work)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

void runFind(const fs::path& root)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string rootText = root.native();
    const char* argv[] = {"find", rootText.c_str(), "-printf", "%s %T@ %p\\n", nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, "find", &actions, nullptr, const_cast<char* const*>(argv), environ) != 0) {
        std::perror("find");
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    ::waitpid(child, &status, 0);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <tree> [runs]\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : kDefaultRuns;
    if (!fs::exists(root)) {
        std::printf("making %d files in %d folders under %s\n", kFiles, kTopFolders * (1 + kSubfoldersEach),
                    root.c_str());
        makeTree(root);
    }

    const larkfold::FileCopier copier;
    const auto filter = larkfold::ExclusionFilter::forProfile(larkfold::BackupProfile::standard);
    std::size_t sourceEntries = 0;
    std::size_t destinationEntries = 0;
    runFind(root); // warm the caches
    const double find = bestSeconds(runs, [&] { runFind(root); });
    const double source = bestSeconds(runs, [&] { sourceEntries = copier.scanSource(root, filter).entries.size(); });
    const double destination =
        bestSeconds(runs, [&] { destinationEntries = copier.scanDestination(root, filter).relativePaths.size(); });

    std::printf("find -printf        %8.1f ms\n", find * 1000);
    std::printf("source scan         %8.1f ms  %zu entries  ratio %.2f\n", source * 1000, sourceEntries, source / find);
    std::printf("destination scan    %8.1f ms  %zu entries  ratio %.2f\n", destination * 1000, destinationEntries,
                destination / find);
    return 0;
}
