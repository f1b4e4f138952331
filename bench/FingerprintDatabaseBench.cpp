// Time and memory of the fingerprint database at scale, through the verifier as a backup job uses
// it, each measurement in a fresh child process so its peak is its own:
//  - a job's fingerprint work on a backup of N files (default 1.5 million) whose database holds an
//    entry for each: the fingerprints of 10 changed copies, the pruning (which looks at every
//    entry's file), the sampled check of 50 files;
//  - the database alone: loaded, one entry updated, saved;
//  - the sampled check alone on a backup of 100,000 files.
// Prints medians with their ranges, the peak resident memory, what stays resident after, and the
// targets.
//
//   bench_fingerprint_db [--entries N] [--runs R] [--folder DIR]
//
// The backup folders are made under DIR (default $TMPDIR or /var/tmp, "larkfold-db-bench") and
// kept, so that later runs reuse them: making 1.5 million files takes a few minutes, and deleting
// them makes file creation on this machine slow for a while after.
#include "Spread.h"
#include "engine/FileDigester.h"
#include "engine/FingerprintDatabase.h"
#include "engine/IntegrityVerifier.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/FreedMemory.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace larkfold;
namespace fs = std::filesystem;

namespace {

constexpr int kFilesPerFolder = 250;
constexpr const char* kFileText = "fingerprinted";

struct Options {
    long entries = 1500000;
    int runs = 3;
    fs::path folder;
};

std::string relativePathOf(long index)
{
    char text[64];
    std::snprintf(text, sizeof text, "d%05ld/photo-%07ld.jpg", index / kFilesPerFolder, index);
    return text;
}

long statusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    return 0;
}

// A backup folder of `files` files and a database with an entry for each, made once.
fs::path prepare(const fs::path& root, long files)
{
    const fs::path backup = root / ("backup-" + std::to_string(files));
    const fs::path done = root / ("backup-" + std::to_string(files) + ".ready");
    if (fs::exists(done))
        return backup;
    std::printf("Making %ld files in %s…\n", files, backup.c_str());
    std::fflush(stdout);
    for (long i = 0; i < files; ++i) {
        const fs::path file = backup / relativePathOf(i);
        if (i % kFilesPerFolder == 0)
            fs::create_directories(file.parent_path());
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, kFileText, std::char_traits<char>::length(kFileText)) < 0) {
            std::perror(file.c_str());
            std::exit(1);
        }
        ::close(fd);
    }
    const auto dir = platform::systemFileSystem().openDirectory(backup);
    const auto file = dir ? platform::systemFileSystem().openFile(*dir, relativePathOf(0), platform::OpenMode::read)
                          : platform::PosixResult<platform::File>(dir.error());
    const auto digest = file ? FileDigester(platform::systemFileSystem()).sha256Hex(*file) : std::nullopt;
    if (!digest)
        std::exit(1);
    FingerprintDatabase database;
    const FingerprintDatabase::Entry entry{*FingerprintDatabase::digestFromHex(*digest),
                                           std::int64_t(std::char_traits<char>::length(kFileText)),
                                           *FingerprintDatabase::decodeDate("2026-03-01T18:04:05Z"),
                                           FingerprintDatabase::kNever};
    for (long i = 0; i < files; ++i)
        database.set(relativePathOf(i), entry);
    std::ofstream out(backup / ".larkfold-hashes.json", std::ios::binary);
    database.write([&](std::string_view piece) { out.write(piece.data(), std::streamsize(piece.size())); });
    out.close();
    std::ofstream(done).put('\n');
    return backup;
}

struct Measurement {
    double seconds = 0;
    double steps[3] = {}; // of a job: fingerprints, pruning, check
    double peakMiB = 0;
    double heldMiB = 0; // resident after, beyond what was resident before
};

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs `work` in a child process of its own and measures it there.
Measurement measure(const std::function<void(Measurement&)>& work)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        std::exit(1);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        std::ofstream("/proc/self/clear_refs") << "5"; // the peak starts from now
        const long before = statusKiB("VmRSS:");
        const auto start = std::chrono::steady_clock::now();
        Measurement m;
        work(m);
        m.seconds = secondsSince(start);
        m.peakMiB = double(statusKiB("VmHWM:")) / 1024;
        m.heldMiB = double(statusKiB("VmRSS:") - before) / 1024;
        if (::write(pipeFds[1], &m, sizeof m) != ssize_t(sizeof m))
            ::_exit(1);
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    Measurement m;
    const bool read = ::read(pipeFds[0], &m, sizeof m) == ssize_t(sizeof m);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!read || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "a measurement failed\n");
        std::exit(1);
    }
    return m;
}

void report(const char* what, const std::vector<Measurement>& runs, double targetSeconds, double targetPeakMiB,
            bool heldTarget)
{
    std::vector<double> seconds, peak, held;
    for (const Measurement& m : runs) {
        seconds.push_back(m.seconds);
        peak.push_back(m.peakMiB);
        held.push_back(m.heldMiB);
    }
    const auto line = [](const char* name, const Spread& s, const char* unit, double target) {
        std::printf("  %-16s median %8.2f %s (%.2f to %.2f)", name, s.median, unit, s.min, s.max);
        if (target > 0)
            std::printf("   target < %.0f %s: %s", target, unit, s.median < target ? "met" : "NOT met");
        std::printf("\n");
    };
    std::printf("%s\n", what);
    line("time", spreadOf(seconds), "s", targetSeconds);
    line("peak resident", spreadOf(peak), "MiB", targetPeakMiB);
    line("held after", spreadOf(held), "MiB", 0);
    static const char* kSteps[] = {"  fingerprints", "  pruning", "  check"};
    for (int step = 0; step < 3 && runs.front().steps[2] > 0; ++step) {
        std::vector<double> values;
        for (const Measurement& m : runs)
            values.push_back(m.steps[step]);
        line(kSteps[step], spreadOf(values), "s", 0);
    }
    if (heldTarget)
        std::printf("  %-16s target: nothing held after (under 5 MiB): %s\n", "", spreadOf(held).median < 5 ? "met"
                                                                                                          : "NOT met");
}

platform::Directory open(const fs::path& folder)
{
    auto dir = platform::systemFileSystem().openDirectory(folder);
    if (!dir) {
        std::fprintf(stderr, "cannot open %s\n", folder.c_str());
        std::exit(1);
    }
    return std::move(*dir);
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--entries")
            options.entries = std::atol(argv[i + 1]);
        else if (flag == "--runs")
            options.runs = std::max(1, std::atoi(argv[i + 1]));
        else if (flag == "--folder")
            options.folder = argv[i + 1];
    }
    if (options.folder.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        options.folder = fs::path(tmp ? tmp : "/var/tmp") / "larkfold-db-bench";
    }
    const fs::path large = prepare(options.folder, options.entries);
    const fs::path small = prepare(options.folder, 100000);
    platform::releaseFreedMemory(); // the children start from what the parent holds
    const fs::path trash = options.folder / ".Larkfold-Trash";
    const double databaseMiB = double(fs::file_size(large / ".larkfold-hashes.json")) / (1 << 20);
    const fs::path pristine = options.folder / ("pristine-" + std::to_string(options.entries) + ".json");
    if (!fs::exists(pristine))
        fs::copy_file(large / ".larkfold-hashes.json", pristine);

    // The ten copies a run made: changed on disk, so their fingerprints are new.
    std::vector<fs::path> copied;
    for (long i = 0; i < 10; ++i)
        copied.push_back(relativePathOf(i * (options.entries / 10)));

    std::vector<Measurement> job, loadSave, check;
    for (int run = 0; run < options.runs; ++run) {
        fs::copy_file(pristine, large / ".larkfold-hashes.json", fs::copy_options::overwrite_existing);
        job.push_back(measure([&](Measurement& m) {
            IntegrityVerifier verifier;
            const platform::Directory backup = open(large);
            auto start = std::chrono::steady_clock::now();
            verifier.recordHashes(copied, {}, backup, trash, {});
            m.steps[0] = secondsSince(start);
            start = std::chrono::steady_clock::now();
            verifier.pruneMissing(backup, trash);
            m.steps[1] = secondsSince(start);
            start = std::chrono::steady_clock::now();
            const auto result = verifier.verifySample(backup, trash);
            if (!result || result->verified != 50)
                std::_Exit(1);
            verifier.recordCheckTime(backup);
            m.steps[2] = secondsSince(start);
        }));
        loadSave.push_back(measure([&](Measurement&) {
            IntegrityVerifier verifier;
            verifier.recordHashes({copied.front()}, open(large), trash);
        }));
        check.push_back(measure([&](Measurement&) {
            IntegrityVerifier verifier;
            const auto result = verifier.verifySample(open(small), trash);
            if (!result || result->verified != 50)
                std::_Exit(1);
        }));
    }
    std::printf("\n%d runs, %s\n", options.runs, options.folder.c_str());
    char what[200];
    std::snprintf(what, sizeof what, "a job's fingerprint work, %ld entries (%.0f MiB): 10 copies, pruning, check of 50",
                  options.entries, databaseMiB);
    report(what, job, 5, 600, false);
    std::snprintf(what, sizeof what, "the database alone, %ld entries: loaded, one entry updated, saved", options.entries);
    report(what, loadSave, 0, 0, false);
    report("a sampled check of 50 files, 100,000 entries", check, 0, 100, true);
    return 0;
}
