#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace larkfold {

// The name a streamed copy writes beside its entry until it is complete: ".larkresume-" + the
// source size + "-" + name, cut to fit a file name. The same source size and name always give
// the same name, so an interrupted streamed copy can be found again.
std::string resumeName(std::int64_t sourceSize, std::string_view name);

// The name a trash entry takes when its own is taken: report.pdf -> report-1A2B3C4D.pdf,
// archive.tar.gz -> archive.tar-1A2B3C4D.gz, Makefile -> Makefile-1A2B3C4D.
std::string collisionName(std::string_view name);

// The first 8 characters of a fresh upper-case UUID string.
std::string shortUuid();

} // namespace larkfold
