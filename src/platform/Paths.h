#pragma once

#include <filesystem>
#include <optional>

class QUrl;

namespace larkfold::platform {

// Absolute, "." and ".." removed, no trailing "/"; links are not resolved.
std::filesystem::path standardized(const std::filesystem::path& path);

// The standardized path with every link in its existing part resolved.
std::filesystem::path canonicalPath(const std::filesystem::path& path);

// The path's last name, also when it ends in "/" ("/a/Photos/" gives "Photos").
std::filesystem::path lastPathComponent(const std::filesystem::path& path);

// `inner` is `outer` or lies below it: compared as bytes, with a "/" after the shorter path.
bool isSameOrBelow(const std::filesystem::path& inner, const std::filesystem::path& outer);

// `inner` lies strictly below `outer`, compared as isSameOrBelow does.
bool isBelow(const std::filesystem::path& inner, const std::filesystem::path& outer);

// The user's home folder as the system names it ($HOME, else the password database), bytes kept.
std::filesystem::path homeFolder();

// The local path a file: URL names, its bytes taken from the URL's own (percent-encoded) bytes,
// so a name that is not valid UTF-8 survives; none for other URLs and other hosts.
std::optional<std::filesystem::path> localPathOfUrl(const QUrl& url);

// Either of the two holds the other, compared on canonical paths, so a link into a folder is caught.
bool areNested(const std::filesystem::path& a, const std::filesystem::path& b);

} // namespace larkfold::platform
