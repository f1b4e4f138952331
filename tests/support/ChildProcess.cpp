#include "support/ChildProcess.h"

#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace larkfold::test {
namespace {

constexpr uid_t kNobodyId = 65534;

bool writeAll(int fd, const std::string& bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// Forks; the child runs `prepare` (false: give up) and then `work`, whose text comes back through a pipe.
std::optional<std::string> runInChild(const std::function<bool()>& prepare, const std::function<std::string()>& work)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return std::nullopt;
    const pid_t child = ::fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0) {
        ::close(pipeFds[0]);
        if (!prepare())
            ::_exit(2);
        ::_exit(writeAll(pipeFds[1], work()) ? 0 : 3);
    }
    ::close(pipeFds[1]);
    std::string result;
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, static_cast<std::size_t>(got));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return result;
}

} // namespace

std::optional<std::string> runUnprivileged(const std::function<std::string()>& work)
{
    if (::geteuid() != 0)
        return work();
    return runInChild(
        [] {
            return ::setgroups(0, nullptr) == 0 && ::setresgid(kNobodyId, kNobodyId, kNobodyId) == 0
                && ::setresuid(kNobodyId, kNobodyId, kNobodyId) == 0;
        },
        work);
}

std::optional<std::string> runInPrivateMountNamespace(const std::function<std::string()>& work)
{
    return runInChild(
        [] {
            // Private propagation keeps the child's mounts from reaching the host's namespace.
            return ::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        },
        work);
}

std::optional<std::string> runWithin(std::chrono::seconds limit, const std::function<std::string()>& work)
{
    return runInChild(
        [limit] {
            ::alarm(static_cast<unsigned>(limit.count()));
            return true;
        },
        work);
}

std::optional<std::string> runWithAddressSpaceLimit(std::uint64_t bytes, const std::function<std::string()>& work)
{
#if defined(__SANITIZE_ADDRESS__)
    (void)bytes;
    return runInChild([] { return true; }, work);
#else
    return runInChild(
        [bytes] {
            const rlimit limit{bytes, bytes};
            return ::setrlimit(RLIMIT_AS, &limit) == 0;
        },
        work);
#endif
}

} // namespace larkfold::test
