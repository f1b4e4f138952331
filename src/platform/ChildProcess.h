#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace larkfold::platform {

// Runs `program` from PATH and returns its standard output. Both pipes are read while the
// child runs, so a long output neither stalls it nor is cut short. A child still running
// `limit` after launch is asked to terminate (and killed when it ignores that); what it had
// written by then is returned. None when the program is missing or cannot be started.
// Blocks the calling thread; usable from any thread.
std::optional<QByteArray> runChildProcess(const QString& program, const QStringList& arguments,
                                          std::chrono::milliseconds limit,
                                          const QProcessEnvironment& environment =
                                              QProcessEnvironment::systemEnvironment());

} // namespace larkfold::platform
