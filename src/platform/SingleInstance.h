#pragma once

#include <QString>

#include <filesystem>

namespace larkfold::platform {

// Holds the one-instance guard for the life of the process: an exclusive flock on a lock file
// in the data folder, and the session-bus name when a session bus exists.
class SingleInstance {
public:
    static constexpr const char* kBusName = "io.larkfold.Larkfold";

    SingleInstance() = default;
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the guard; false with a reason when another instance holds it or it cannot be taken.
    bool acquire(const std::filesystem::path& lockFile, QString& reason);

private:
    int m_fd = -1;
    bool m_ownsBusName = false;
};

} // namespace larkfold::platform
