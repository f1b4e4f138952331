#include "platform/RunningApplications.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <map>
#include <string_view>

namespace larkfold::platform {

namespace {

// Editors of the table that run on Linux, by the executable name they run under.
const std::map<std::string, std::string, std::less<>>& knownExecutables()
{
    static const std::map<std::string, std::string, std::less<>> table{
        {"resolve", "com.blackmagic-design.DaVinciResolve"},
    };
    return table;
}

std::optional<std::string> readLink(const std::filesystem::path& link)
{
    std::string target(4096, '\0');
    const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<size_t>(length) >= target.size())
        return std::nullopt;
    target.resize(static_cast<size_t>(length));
    return target;
}

std::string readSmallFile(const std::filesystem::path& path)
{
    std::string content;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return content;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        content.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return content;
}

std::optional<std::string_view> environmentValue(std::string_view environ, std::string_view name)
{
    size_t start = 0;
    while (start < environ.size()) {
        size_t end = environ.find('\0', start);
        if (end == std::string_view::npos)
            end = environ.size();
        const std::string_view entry = environ.substr(start, end - start);
        if (entry.size() > name.size() && entry.substr(0, name.size()) == name && entry[name.size()] == '=')
            return entry.substr(name.size() + 1);
        start = end + 1;
    }
    return std::nullopt;
}

std::string baseName(std::string_view path)
{
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

} // namespace

ProcRunningApplications::ProcRunningApplications(std::filesystem::path procRoot)
    : m_procRoot(std::move(procRoot))
{
}

std::optional<std::string> ProcRunningApplications::identifierOf(const std::filesystem::path& processDirectory)
{
    // Kernel threads and other users' processes have no readable executable; their open files
    // are out of reach anyway.
    std::optional<std::string> exe = readLink(processDirectory / "exe");
    if (!exe)
        return std::nullopt;
    constexpr std::string_view kDeleted = " (deleted)"; // the binary was replaced while running
    if (exe->ends_with(kDeleted))
        exe->resize(exe->size() - kDeleted.size());
    const std::string executable = baseName(*exe);

    if (auto known = knownExecutables().find(executable); known != knownExecutables().end())
        return known->second;

    const std::string environ = readSmallFile(processDirectory / "environ");
    if (auto desktopFile = environmentValue(environ, "GIO_LAUNCHED_DESKTOP_FILE")) {
        std::string id = baseName(*desktopFile);
        constexpr std::string_view kSuffix = ".desktop";
        if (id.ends_with(kSuffix))
            id.resize(id.size() - kSuffix.size());
        if (!id.empty())
            return id;
    }
    if (auto flatpak = environmentValue(environ, "FLATPAK_ID"); flatpak && !flatpak->empty())
        return std::string(*flatpak);
    return executable;
}

std::vector<RunningApplication> ProcRunningApplications::list()
{
    std::vector<RunningApplication> result;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(m_procRoot, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        pid_t pid = 0;
        const auto [ptr, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (error != std::errc() || ptr != name.data() + name.size() || pid < 1)
            continue;
        result.push_back({identifierOf(it->path()), pid});
    }
    std::sort(result.begin(), result.end(), [](const auto& a, const auto& b) { return a.pid < b.pid; });
    return result;
}

} // namespace larkfold::platform
