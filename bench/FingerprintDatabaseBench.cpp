// Time and memory of a backup whose fingerprint database is large, each measurement in a fresh
// child process so its peak is its own:
//  - a whole job of the engine on a pair whose backup holds N entries (default 1.5 million) in its
//    database, a tenth of them for files that are gone, the others for files the source still has
//    unchanged, and 10 files changed in the source: scan, compare, copy, fingerprints, pruning,
//    sampled check of 50 files, the engine's own steps around them;
//  - the same job's steps one by one, timed apart: the copy run (scans, comparison, copies), the
//    fingerprints of its copies, the pruning, the sampled check;
//  - the database alone: read, one entry changed, written and synced;
//  - the sampled check alone on a backup of 100,000 files.
// Prints medians with their ranges, the peak resident memory, what stays resident after, and the
// targets. The measurements take turns within each run.
//
//   bench_fingerprint_db [--entries N] [--runs R] [--folder DIR]
//
// The folders are made under DIR (default $TMPDIR or /var/tmp, "larkfold-db-bench") and kept, so
// that later runs reuse them: making millions of files takes minutes, and deleting them makes file
// creation on this machine slow for a while after. The files of the job are empty: what the job
// costs per entry is the looking, and empty files take no disk blocks (1.35 million of them take
// only their inodes on each side).
#include "Spread.h"
#include "copy/FileCopier.h"
#include "engine/BackupEngine.h"
#include "engine/BackupQueue.h"
#include "engine/FileDigester.h"
#include "engine/FingerprintDatabase.h"
#include "engine/IntegrityVerifier.h"
#include "engine/NotificationManager.h"
#include "platform/Clock.h"
#include "platform/FakeNotifier.h"
#include "platform/FileSystem.h"
#include "platform/FreedMemory.h"
#include "platform/IdleTime.h"
#include "platform/UserDefaults.h"
#include "store/BackupProfile.h"
#include "store/ConfigStore.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace larkfold;
namespace fs = std::filesystem;

namespace {

constexpr int kFilesPerFolder = 250;
constexpr const char* kFileText = "fingerprinted";
constexpr const char* kPairName = "Photos";
// One entry in this many is for a file that is gone from the source and the backup.
constexpr long kGoneEvery = 10;
constexpr long kChangedFiles = 10;

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

bool isGone(long index)
{
    return index % kGoneEvery == kGoneEvery - 1;
}

long statusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    return 0;
}

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "%s\n", what.c_str());
    std::exit(1);
}

void writeFile(const fs::path& file, std::string_view text)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, text.data(), text.size()) != ssize_t(text.size()))
        fail("cannot write " + file.string());
    ::close(fd);
}

void setModified(const fs::path& file, const timespec& when)
{
    const timespec times[2] = {when, when};
    if (::utimensat(AT_FDCWD, file.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        fail("cannot set the time of " + file.string());
}

FingerprintDatabase::Digest digestOf(std::string_view text)
{
    const fs::path scratch = fs::temp_directory_path() / ("larkfold-db-bench-" + std::to_string(::getpid()));
    writeFile(scratch, text);
    const auto dir = platform::systemFileSystem().openDirectory(scratch.parent_path());
    const auto file = dir ? platform::systemFileSystem().openFile(*dir, scratch.filename(), platform::OpenMode::read)
                          : platform::PosixResult<platform::File>(dir.error());
    const auto digest = file ? FileDigester(platform::systemFileSystem()).sha256Hex(*file) : std::nullopt;
    fs::remove(scratch);
    if (!digest)
        fail("cannot fingerprint " + scratch.string());
    return *FingerprintDatabase::digestFromHex(*digest);
}

void saveDatabase(FingerprintDatabase& database, const fs::path& file)
{
    std::ofstream out(file, std::ios::binary);
    database.write([&](std::string_view piece) { out.write(piece.data(), std::streamsize(piece.size())); });
    if (!out.flush())
        fail("cannot write " + file.string());
}

FingerprintDatabase::Entry entryOf(const FingerprintDatabase::Digest& digest, std::int64_t size)
{
    return {digest, size, *FingerprintDatabase::decodeDate("2026-03-01T18:04:05Z"), FingerprintDatabase::kNever};
}

// A backup folder of `files` files and a database with an entry for each, made once.
fs::path prepareCheck(const fs::path& root, long files)
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
        writeFile(file, kFileText);
    }
    FingerprintDatabase database;
    const auto entry = entryOf(digestOf(kFileText), std::int64_t(std::char_traits<char>::length(kFileText)));
    for (long i = 0; i < files; ++i)
        database.set(relativePathOf(i), entry);
    saveDatabase(database, backup / kHashesFileName);
    std::ofstream(done).put('\n');
    return backup;
}

// The folders of the whole job: a source, a drive with the pair's backup folder, and the pristine
// database every run starts from.
struct JobFolders {
    fs::path root;
    fs::path source() const { return root / "source"; }
    fs::path drive() const { return root / "drive"; }
    fs::path backup() const { return BackupEngine::backupFolder(drive(), QString::fromLatin1(kPairName)); }
    fs::path trash() const { return BackupEngine::trashFolder(drive()); }
    fs::path pristine() const { return root / "pristine.json"; }
};

JobFolders prepareJob(const fs::path& root, long entries)
{
    const JobFolders folders{root / ("job-" + std::to_string(entries))};
    const fs::path done = root / ("job-" + std::to_string(entries) + ".ready");
    if (fs::exists(done))
        return folders;
    std::printf("Making %ld files in %s and its backup…\n", entries - entries / kGoneEvery, folders.source().c_str());
    std::fflush(stdout);
    // The backup's copies carry the source's times, so the run finds them unchanged.
    const timespec when{1772388245, 123456789};
    for (long i = 0; i < entries; ++i) {
        const std::string relative = relativePathOf(i);
        if (i % kFilesPerFolder == 0) {
            fs::create_directories(folders.source() / relative.substr(0, relative.find('/')));
            fs::create_directories(folders.backup() / relative.substr(0, relative.find('/')));
        }
        if (isGone(i))
            continue;
        for (const fs::path& side : {folders.source(), folders.backup()}) {
            writeFile(side / relative, {});
            setModified(side / relative, when);
        }
    }
    FingerprintDatabase database;
    const auto entry = entryOf(digestOf({}), 0);
    for (long i = 0; i < entries; ++i)
        database.set(relativePathOf(i), entry);
    saveDatabase(database, folders.pristine());
    std::ofstream(done).put('\n');
    return folders;
}

// Every run starts from the same backup: the full database, no check recorded, and 10 source
// files changed since their copies. Written to the disk before the measurement starts.
std::vector<fs::path> resetJob(const JobFolders& folders, long entries)
{
    fs::copy_file(folders.pristine(), folders.backup() / kHashesFileName, fs::copy_options::overwrite_existing);
    fs::remove(folders.backup() / kLastCheckFileName);
    fs::remove_all(folders.trash());
    timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::vector<fs::path> changed;
    for (long k = 0; k < kChangedFiles; ++k) {
        const long i = k * (entries / kChangedFiles);
        changed.push_back(relativePathOf(isGone(i) ? i + 1 : i));
        setModified(folders.source() / changed.back(), now);
    }
    ::sync();
    return changed;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Measurement {
    double seconds = 0;
    double cpuSeconds = 0; // of all its threads: what the machine's other work does not change
    double steps[4] = {}; // of the job's steps measured apart
    double peakMiB = 0;
    double heldMiB = 0; // resident after, beyond what was resident before
    bool done = false;
};

// Starts a measurement; stop() ends it (the first call counts), so checks after it cost nothing.
class Meter {
public:
    explicit Meter(Measurement& m) : m_m(m)
    {
        std::ofstream("/proc/self/clear_refs") << "5"; // the peak starts from now
        m_before = statusKiB("VmRSS:");
        restart();
    }
    void restart()
    {
        m_start = std::chrono::steady_clock::now();
        m_cpuStart = cpuSeconds();
    }
    void stop()
    {
        if (m_m.done)
            return;
        m_m.seconds = secondsSince(m_start);
        m_m.cpuSeconds = cpuSeconds() - m_cpuStart;
        m_m.peakMiB = double(statusKiB("VmHWM:")) / 1024;
        m_m.heldMiB = double(statusKiB("VmRSS:") - m_before) / 1024;
        m_m.done = true;
    }

private:
    Measurement& m_m;
    long m_before = 0;
    std::chrono::steady_clock::time_point m_start;
    double m_cpuStart = 0;
};

// Runs `work` in a child process of its own and measures it there.
Measurement measure(const std::function<void(Measurement&, Meter&)>& work)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        std::exit(1);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        Measurement m;
        Meter meter(m);
        work(m, meter);
        meter.stop();
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
    if (!read || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail("a measurement failed");
    return m;
}

void line(const char* name, const Spread& s, const char* unit, double target)
{
    std::printf("  %-18s median %8.2f %s (%.2f to %.2f)", name, s.median, unit, s.min, s.max);
    if (target > 0)
        std::printf("   target < %.0f %s: %s", target, unit, s.median < target ? "met" : "NOT met");
    std::printf("\n");
}

Spread fieldSpread(const std::vector<Measurement>& runs, double Measurement::*field)
{
    std::vector<double> values;
    for (const Measurement& m : runs)
        values.push_back(m.*field);
    return spreadOf(values);
}

void report(const char* what, const std::vector<Measurement>& runs, double targetSeconds, double targetPeakMiB,
            bool heldTarget, const std::vector<const char*>& steps = {})
{
    std::printf("%s\n", what);
    line("time", fieldSpread(runs, &Measurement::seconds), "s", targetSeconds);
    line("CPU time", fieldSpread(runs, &Measurement::cpuSeconds), "s", 0);
    for (std::size_t step = 0; step < steps.size(); ++step) {
        std::vector<double> values;
        for (const Measurement& m : runs)
            values.push_back(m.steps[step]);
        line(steps[step], spreadOf(values), "s", 0);
    }
    line("peak resident", fieldSpread(runs, &Measurement::peakMiB), "MiB", targetPeakMiB);
    line("held after", fieldSpread(runs, &Measurement::heldMiB), "MiB", 0);
    if (heldTarget)
        std::printf("  %-18s target: nothing held after (under 5 MiB): %s\n", "",
                    fieldSpread(runs, &Measurement::heldMiB).median < 5 ? "met" : "NOT met");
}

platform::Directory open(const fs::path& folder)
{
    auto dir = platform::systemFileSystem().openDirectory(folder);
    if (!dir)
        fail("cannot open " + folder.string());
    return std::move(*dir);
}

// One job of the engine, from its trigger until its task has ended, as the application runs it;
// only the notifications and the idle time are stand-ins.
void runEngineJob(const JobFolders& folders, long expectedEntries, Meter& meter)
{
    int argc = 1;
    char name[] = "bench_fingerprint_db";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    platform::FakeIdleTime idle{std::chrono::hours(1)};
    platform::setIdleTime(&idle);
    platform::MemoryUserDefaults defaults;
    platform::setUserDefaults(&defaults);
    const fs::path appSupport = folders.root / ("app-support-" + std::to_string(::getpid()));
    {
        ConfigStore store(appSupport);
        BackupPair pair;
        pair.id = QUuid::createUuid();
        pair.name = QString::fromLatin1(kPairName);
        pair.sourceURL = folders.source();
        pair.destinationURL = folders.drive();
        pair.createdAt = QDateTime::currentDateTimeUtc();
        store.addPair(pair);
        NotificationManager notifications(&store, std::make_unique<platform::FakeNotifier>());
        BackupEngine::Environment environment;
        environment.finishedStatusDelay = std::chrono::milliseconds(0);
        BackupEngine engine(pair.id, environment);
        engine.setConfigStore(&store);
        engine.setBackupQueue(std::make_shared<BackupQueue>());
        engine.setNotificationManager(&notifications);
        meter.restart();
        engine.triggerBackup(pair);
        QDeadlineTimer deadline(std::chrono::minutes(10));
        while (engine.hasRunningTask() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(1);
        }
        QCoreApplication::processEvents();
        meter.stop();
        const auto events = store.events();
        const bool copied = std::any_of(events.begin(), events.end(), [](const BackupEvent& event) {
            return event.type == BackupEvent::EventType::backup && event.filesAffected == kChangedFiles;
        });
        const bool checked = std::any_of(events.begin(), events.end(), [](const BackupEvent& event) {
            return event.type == BackupEvent::EventType::integrityChecked;
        });
        if (engine.hasRunningTask() || !copied || !checked)
            fail("the job did not end as expected");
        if (IntegrityVerifier().verifySample(open(folders.backup()), folders.trash())->totalTracked != expectedEntries)
            fail("the job left another number of entries");
    }
    fs::remove_all(appSupport);
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
    fs::create_directories(options.folder);
    const JobFolders job = prepareJob(options.folder, options.entries);
    const fs::path small = prepareCheck(options.folder, 100000);
    platform::releaseFreedMemory(); // the children start from what the parent holds
    const long kept = options.entries - options.entries / kGoneEvery;
    const double databaseMiB = double(fs::file_size(job.pristine())) / (1 << 20);

    std::vector<Measurement> wholeJob, steps, loadSave, check;
    for (int run = 0; run < options.runs; ++run) {
        resetJob(job, options.entries);
        wholeJob.push_back(measure([&](Measurement&, Meter& meter) { runEngineJob(job, kept, meter); }));

        const std::vector<fs::path> changed = resetJob(job, options.entries);
        steps.push_back(measure([&](Measurement& m, Meter&) {
            const FileCopier copier;
            auto opened = copier.openBackupFolder(job.source(), job.backup(), job.trash());
            if (!std::holds_alternative<BackupFolder>(opened))
                fail("cannot open the backup folder");
            const BackupFolder& folder = std::get<BackupFolder>(opened);
            const platform::Directory& backup = folder.directory();
            auto start = std::chrono::steady_clock::now();
            BackupPair pair;
            pair.name = QString::fromLatin1(kPairName);
            auto outcome = copier.backup(job.source(), folder, job.trash(), BackupEngine::exclusionFilter(pair), {});
            if (!std::holds_alternative<BackupResult>(outcome))
                fail("the copy run failed");
            const BackupResult& result = std::get<BackupResult>(outcome);
            if (result.copiedRelativePaths.size() != changed.size())
                fail("the copy run copied " + std::to_string(result.copiedRelativePaths.size()) + " files");
            m.steps[0] = secondsSince(start);
            // As the job holds the database: the fingerprints read it, the steps after use it.
            IntegrityVerifier verifier;
            const IntegrityVerifier::DatabaseHold hold(verifier);
            start = std::chrono::steady_clock::now();
            verifier.recordHashes(result.copiedRelativePaths, result.backupRelativePaths, backup, job.trash(), {});
            m.steps[1] = secondsSince(start);
            start = std::chrono::steady_clock::now();
            if (verifier.pruneMissing(backup, job.trash()) != options.entries - kept)
                fail("the pruning removed another number of entries");
            m.steps[2] = secondsSince(start);
            start = std::chrono::steady_clock::now();
            const auto sample = verifier.verifySample(backup, job.trash());
            if (!sample || sample->verified != 50)
                fail("the check did not verify 50 files");
            verifier.recordCheckTime(backup);
            m.steps[3] = secondsSince(start);
        }));

        resetJob(job, options.entries);
        loadSave.push_back(measure([&](Measurement& m, Meter&) {
            auto start = std::chrono::steady_clock::now();
            const fs::path file = job.backup() / kHashesFileName;
            const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
            std::vector<char> buffer(1 << 20);
            FingerprintDatabase database = FingerprintDatabase::read(
                [&]() -> std::optional<std::string_view> {
                    const ssize_t count = ::read(fd, buffer.data(), buffer.size());
                    if (count <= 0)
                        return std::nullopt;
                    return std::string_view(buffer.data(), std::size_t(count));
                },
                std::size_t(fs::file_size(file)));
            ::close(fd);
            m.steps[0] = secondsSince(start);
            database.set(changed.front().native(), entryOf(digestOf(kFileText), 13));
            start = std::chrono::steady_clock::now();
            const std::error_code error = platform::systemFileSystem().writeFileAtomicallyInPieces(
                open(job.backup()), std::string(kHashesFileName),
                [&](const platform::FileSystem::PieceWriter& write) { database.write(write); });
            if (error)
                fail("cannot save the database");
            m.steps[1] = secondsSince(start);
        }));
        check.push_back(measure([&](Measurement&, Meter&) {
            const auto result = IntegrityVerifier().verifySample(open(small), options.folder / ".Larkfold-Trash");
            if (!result || result->verified != 50)
                fail("the check did not verify 50 files");
        }));
    }
    std::printf("\n%d runs, %s, %ld entries in a database of %.0f MiB, %ld of them for files still there\n",
                options.runs, options.folder.c_str(), options.entries, databaseMiB, kept);
    report("a whole job: 10 files changed in the source, the rest gone or unchanged", wholeJob, 5, 600, false);
    report("the job's steps apart", steps, 0, 0, false, {"copy run", "fingerprints", "pruning", "check of 50"});
    report("the database alone: read, one entry changed, written and synced", loadSave, 0, 0, false, {"read", "written"});
    report("a sampled check of 50 files, 100,000 entries", check, 0, 100, true);
    return 0;
}
