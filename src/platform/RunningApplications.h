#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace larkfold::platform {

struct RunningApplication {
    // The application's identifier as the editor table spells it, or none when the process
    // cannot be read.
    std::optional<std::string> identifier;
    pid_t pid = 0;
};

class RunningApplications {
public:
    virtual ~RunningApplications() = default;
    virtual std::vector<RunningApplication> list() = 0;
};

// Every process under a /proc root, in ascending process id. The identifier is the table's for
// the few editors known by their Linux executable, otherwise the desktop-file id the process was
// launched with (GIO_LAUNCHED_DESKTOP_FILE), else its flatpak id, else its executable name.
class ProcRunningApplications final : public RunningApplications {
public:
    explicit ProcRunningApplications(std::filesystem::path procRoot = "/proc");
    std::vector<RunningApplication> list() override;

    // The identifier of one process directory, from its "exe" link and "environ".
    static std::optional<std::string> identifierOf(const std::filesystem::path& processDirectory);

private:
    std::filesystem::path m_procRoot;
};

} // namespace larkfold::platform
