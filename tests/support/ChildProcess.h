#pragma once

#include <chrono>
#include <cstdint>
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

// Runs `work` in a forked child that is killed once `limit` has passed, so work that would wait
// for ever fails the test instead of hanging it. None when the child was killed or crashed.
std::optional<std::string> runWithin(std::chrono::seconds limit, const std::function<std::string()>& work);

// Runs `work` in a forked child whose address space is limited to `bytes` (RLIMIT_AS), as on a
// computer with that much memory. Under AddressSanitizer, which reserves far more address space
// for itself, `work` runs without the limit. None when the child crashed (an uncaught
// std::bad_alloc among others).
std::optional<std::string> runWithAddressSpaceLimit(std::uint64_t bytes, const std::function<std::string()>& work);

} // namespace larkfold::test
