#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace larkfold {

// What rclone's configuration says of its remotes. Only reads; nothing is kept between calls.
class RcloneConfig {
public:
    // rclone's own choice: $RCLONE_CONFIG, else rclone.conf in the user's configuration folder.
    static std::filesystem::path defaultFile(const std::filesystem::path& home);

    // The storage behind a remote.
    struct Backend {
        std::string type;   // "drive", "onedrive", "s3", ...
        std::string vendor; // the server of a "webdav" remote ("nextcloud"), else empty

        bool operator==(const Backend&) const = default;
    };

    // The backend that stores what a mount of `remote` holds, looking through the remotes that
    // only wrap another one (crypt, alias and the like). `remote` is a mount's source as rclone
    // names it: "name:path", "name{hash}:path" or ":backend,options:path". None when the
    // configuration cannot tell (unreadable, encrypted, unknown remote).
    static std::optional<Backend> backendOf(const std::string& remote, const std::filesystem::path& file);
};

} // namespace larkfold
