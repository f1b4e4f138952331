#pragma once

#include <functional>
#include <optional>
#include <string>

namespace larkfold::test {

// Runs `work` where permissions apply: as root, in a forked child that has become uid/gid 65534
// ("nobody"); otherwise in this process, where the test user's own permissions apply (so deny
// the owner too, e.g. mode 000, for a test to hold either way). Returns what `work` returned, or none when the child
// could not drop its privileges. Whatever `work` reads must be reachable by that user.
std::optional<std::string> runUnprivileged(const std::function<std::string()>& work);

// Runs `work` in a forked child with a private mount namespace, so mounts it makes vanish with it.
// Returns what `work` returned, or none when the namespace cannot be had (not root, a sandbox).
std::optional<std::string> runInPrivateMountNamespace(const std::function<std::string()>& work);

} // namespace larkfold::test
