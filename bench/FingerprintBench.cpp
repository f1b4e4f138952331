// Hashing throughput of the fingerprint code against `openssl dgst -sha256` and `sha256sum`, whole processes,
// on one 1 GiB file held in the page cache.
//   bench_fingerprint [file] [runs]
//   bench_fingerprint --digest file   (prints the digest only, to time the whole process against
//                                      `openssl dgst -sha256 file`, e.g. with /usr/bin/time)
// Then the same file read from the disk (its pages dropped first): the hash against a plain read, to show
// that reading and hashing overlap, so a re-check runs at the speed of the slower of the two.
// Without a file, a 1 GiB file of random bytes is written under $TMPDIR (or /tmp) and removed after.

#include "Spread.h"
#include "engine/FileDigester.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::int64_t kFileBytes = std::int64_t(1) << 30;
constexpr int kDefaultRuns = 5;

using Clock = std::chrono::steady_clock;

bool writeRandomFile(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    std::mt19937_64 random(42);
    std::vector<std::uint64_t> block(1 << 17); // 1 MiB
    for (std::int64_t written = 0; written < kFileBytes; written += std::int64_t(block.size() * 8)) {
        for (auto& word : block)
            word = random();
        if (::write(fd, block.data(), block.size() * 8) != ssize_t(block.size() * 8)) {
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

// One command's wall time of a run, in seconds.
double secondsOf(const std::function<bool()>& work)
{
    const auto start = Clock::now();
    if (!work()) {
        std::fprintf(stderr, "run failed\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Best of `runs` wall times, in seconds.
double bestSeconds(int runs, const std::function<bool()>& work)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, secondsOf(work));
    return best;
}

// Drops the file's pages so the next read comes from the disk (needs them written back first).
bool dropFromCache(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::fdatasync(fd);
    const bool ok = ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    ::close(fd);
    return ok;
}

// Runs a command with its output discarded; true when it exits with 0.
bool runQuietly(std::vector<std::string> argv)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

std::optional<std::string> digestOf(larkfold::FileDigester& digester, const std::filesystem::path& file)
{
    larkfold::platform::FileSystem& fileSystem = larkfold::platform::systemFileSystem();
    auto dir = fileSystem.openDirectory(std::filesystem::absolute(file).parent_path());
    auto opened = dir ? fileSystem.openFile(*dir, file.filename(), larkfold::platform::OpenMode::read)
                      : larkfold::platform::PosixResult<larkfold::platform::File>(dir.error());
    return opened ? digester.sha256Hex(*opened) : std::nullopt;
}

// One file's digest through the fingerprint code, printed as `sha256sum` does.
int printDigest(const std::filesystem::path& file)
{
    larkfold::FileDigester digester(larkfold::platform::systemFileSystem());
    const auto digest = digestOf(digester, file);
    if (!digest) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return 1;
    }
    std::printf("%s  %s\n", digest->c_str(), file.c_str());
    return 0;
}

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--digest")
        return printDigest(argv[2]);
    std::filesystem::path file;
    bool ownFile = false;
    if (argc > 1) {
        file = argv[1];
    } else {
        const char* tmp = std::getenv("TMPDIR");
        file = std::filesystem::path(tmp ? tmp : "/tmp") / "larkfold-bench-1GiB.bin";
        ownFile = true;
        if (!writeRandomFile(file)) {
            std::fprintf(stderr, "cannot write %s\n", file.c_str());
            return 1;
        }
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : kDefaultRuns;
    const double gib = double(std::filesystem::file_size(file)) / double(kFileBytes);

    larkfold::FileDigester digester(larkfold::platform::systemFileSystem());
    auto ours = [&] { return digestOf(digester, file).has_value(); };
    ours(); // bring the file into the page cache
    // Whole processes in turn, so both pay their start-up and a drift of the machine's speed
    // touches both alike; the ratio is taken run by run.
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<double> oursTimes, opensslTimes, ratios;
    for (int i = 0; i < runs; ++i) {
        oursTimes.push_back(secondsOf([&] { return runQuietly({self, "--digest", file.string()}); }));
        opensslTimes.push_back(secondsOf([&] { return runQuietly({"openssl", "dgst", "-sha256", file.string()}); }));
        ratios.push_back(opensslTimes.back() / oursTimes.back());
    }
    const double sha256sumSeconds = bestSeconds(runs, [&] { return runQuietly({"sha256sum", file.string()}); });

    const auto print = [&](const char* name, const Spread& t) {
        std::printf("%-22s median %6.3f s (%.3f to %.3f)  %5.0f MiB/s\n", name, t.median, t.min, t.max,
                    gib * 1024 / t.median);
    };
    std::printf("file: %s (%.2f GiB, page cache), %d runs in turn\n", file.c_str(), gib, runs);
    print("FileDigester", spreadOf(oursTimes));
    print("openssl dgst -sha256", spreadOf(opensslTimes));
    const Spread ratio = spreadOf(ratios);
    std::printf("throughput vs openssl dgst: median %.3fx (%.3f to %.3f; target >= 0.95x)\n", ratio.median,
                ratio.min, ratio.max);
    std::printf("%-22s best %6.3f s  %5.0f MiB/s\n", "sha256sum", sha256sumSeconds, gib * 1024 / sha256sumSeconds);

    const double oursSeconds = spreadOf(oursTimes).min;
    const double coldOursSeconds = bestSeconds(runs, [&] { return dropFromCache(file) && ours(); });
    const double coldReadSeconds
        = bestSeconds(runs, [&] { return dropFromCache(file) && runQuietly({"cat", file.string()}); });
    std::printf("\nfrom the disk (page cache dropped before each run):\n");
    std::printf("%-22s %8.3f s  %7.0f MiB/s\n", "FileDigester", coldOursSeconds, gib * 1024 / coldOursSeconds);
    std::printf("%-22s %8.3f s  %7.0f MiB/s\n", "cat > /dev/null", coldReadSeconds, gib * 1024 / coldReadSeconds);
    std::printf("cold hash / max(cached hash, cold read): %.3f (1.0 = reading fully overlapped)\n",
                coldOursSeconds / std::max(oursSeconds, coldReadSeconds));
    if (ownFile)
        std::filesystem::remove(file);
    return 0;
}
