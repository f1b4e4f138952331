// Runs one backup on the paths given on the command line and prints its result as JSON.
// A tool for the end-to-end tests and the benchmarks; not installed.
#include "copy/BandwidthThrottle.h"
#include "copy/ExclusionFilter.h"
#include "copy/FileCopier.h"
#include "platform/Json.h"
#include "store/AppConfig.h"
#include "store/BackupProfile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QStringDecoder>

#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

using namespace larkfold;
using platform::Json;

namespace {

constexpr int kExitResult = 0;
constexpr int kExitNotStarted = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "Usage: larkfold-probe [--profile NAME] [--bandwidth MODE] [--workers N] SOURCE BACKUP TRASH\n"
    "\n"
    "Runs one backup of the folder SOURCE into the backup folder BACKUP, moving backup files\n"
    "that vanished from SOURCE into TRASH/<yyyy-MM-dd>, and prints the result as JSON.\n"
    "\n"
    "  --profile NAME     standard (default), film, photography, music, developer, documents\n"
    "  --bandwidth MODE   auto (default), quiet, full\n"
    "  --workers N        files copied at once (default: as the backup folder's drive takes)\n"
    "  --help             this text\n"
    "\n"
    "SIGINT or SIGTERM stops the run as quitting the application does; the result still follows.\n"
    "\n"
    "Exit status: 0 when the run returned a result (file errors are in it), 1 when it could not\n"
    "start (the JSON holds \"error\"), 2 for bad arguments.\n";

struct Arguments {
    std::filesystem::path source;
    std::filesystem::path backup;
    std::filesystem::path trash;
    BackupProfile profile = BackupProfile::standard;
    AppConfig::BandwidthMode bandwidth = AppConfig::BandwidthMode::automatic;
    std::size_t workers = 0;
};

std::optional<Arguments> parseArguments(int argc, char** argv, bool& wantsHelp)
{
    Arguments arguments;
    std::vector<std::filesystem::path> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            wantsHelp = true;
            return std::nullopt;
        }
        if (argument == "--profile" || argument == "--bandwidth" || argument == "--workers") {
            if (i + 1 >= argc)
                return std::nullopt;
            const std::string value = argv[++i];
            if (argument == "--workers") {
                std::size_t workers = 0;
                const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), workers);
                if (error != std::errc() || end != value.data() + value.size() || workers < 1)
                    return std::nullopt;
                arguments.workers = workers;
            } else if (argument == "--profile") {
                const auto profile = fromStoredString<BackupProfile>(value);
                if (!profile)
                    return std::nullopt;
                arguments.profile = *profile;
            } else {
                const auto mode = fromStoredString<AppConfig::BandwidthMode>(value);
                if (!mode)
                    return std::nullopt;
                arguments.bandwidth = *mode;
            }
            continue;
        }
        if (argument.starts_with("--"))
            return std::nullopt;
        paths.emplace_back(argument); // bytes as given
    }
    if (paths.size() != 3)
        return std::nullopt;
    arguments.source = paths[0];
    arguments.backup = paths[1];
    arguments.trash = paths[2];
    return arguments;
}

// A name as JSON: its text when it is valid UTF-8, else its bytes in Base64.
Json pathJson(const std::filesystem::path& path)
{
    const std::string& bytes = path.native();
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (!decoder.hasError())
        return bytes;
    return Json{{"base64", platform::encodeBase64(QByteArray(bytes.data(), qsizetype(bytes.size())))}};
}

Json errorJson(const FileOperationError& error)
{
    Json json{{"code", error.code()},
              {"domain", error.domain().toStdString()},
              {"message", error.description().toStdString()},
              {"operation", error.operation().toStdString()},
              {"path", pathJson(error.url())}};
    if (const FileOperationError* inner = error.inner())
        json["underlying"] = errorJson(*inner);
    return json;
}

Json resultJson(const BackupResult& result)
{
    Json copied = Json::array();
    for (const auto& relative : result.copiedRelativePaths)
        copied.push_back(pathJson(relative));
    Json errors = Json::array();
    for (const auto& error : result.errors)
        errors.push_back(errorJson(error));
    Json deferred = Json::object();
    for (const auto& [editor, count] : result.filesDeferredByEditor)
        deferred[editor] = count;
    return Json{{"abortedDueToVolumeLoss", result.abortedDueToVolumeLoss},
                {"approximateSourceBytes", result.approximateSourceBytes},
                {"archivedFiles", result.archivedFiles},
                {"bytesTransferred", result.bytesTransferred},
                {"copiedFiles", result.copiedFiles},
                {"copiedRelativePaths", copied},
                {"duration", result.duration},
                {"errors", errors},
                {"filesDeferredByEditor", deferred},
                {"recommendedProfile", std::string(storedString(result.recommendedProfile))}};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    bool wantsHelp = false;
    const auto arguments = parseArguments(argc, argv, wantsHelp);
    if (wantsHelp) {
        std::cout << kUsage;
        return kExitResult;
    }
    if (!arguments) {
        std::cerr << kUsage;
        return kExitUsage;
    }

    currentBandwidthMode.store(std::uint8_t(arguments->bandwidth), std::memory_order_relaxed);
    // The signals go to one waiting thread only (the run's threads inherit the mask), which
    // stops the run the way quitting the application does.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    platform::CancelSource stop;
    std::jthread signalWaiter([&](std::stop_token done) {
        const timespec pollInterval{0, 100'000'000};
        while (!done.stop_requested()) {
            if (sigtimedwait(&stopSignals, nullptr, &pollInterval) > 0) {
                stop.cancel();
                return;
            }
        }
    });

    FileCopier copier;
    copier.setCopyWorkers(arguments->workers);
    const BackupOutcome outcome = copier.backup(arguments->source, arguments->backup, arguments->trash,
                                                ExclusionFilter::forProfile(arguments->profile), {}, stop.token());
    const bool stopped = stop.isCancelled();
    // Wakes the waiter at once rather than at its next look.
    signalWaiter.request_stop();
    pthread_kill(signalWaiter.native_handle(), SIGTERM);
    if (const auto* failure = std::get_if<FileOperationError>(&outcome)) {
        std::cout << platform::encodeJsonPretty(Json{{"error", errorJson(*failure)}}) << '\n';
        return kExitNotStarted;
    }
    Json result = resultJson(std::get<BackupResult>(outcome));
    result["stopped"] = stopped;
    std::cout << platform::encodeJsonPretty(result) << '\n';
    return kExitResult;
}
