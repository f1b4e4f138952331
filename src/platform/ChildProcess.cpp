#include "platform/ChildProcess.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>

namespace larkfold::platform {

namespace {
// How long a child may take to end after the terminate request before it is killed.
constexpr int kTerminateGraceMs = 1000;
} // namespace

std::optional<QByteArray> runChildProcess(const QString& program, const QStringList& arguments,
                                          std::chrono::milliseconds limit, const QProcessEnvironment& environment)
{
    const QString executable = QStandardPaths::findExecutable(program);
    if (executable.isEmpty())
        return std::nullopt;

    QProcess child;
    child.setProgram(executable);
    child.setArguments(arguments);
    child.setProcessEnvironment(environment);
    child.setStandardInputFile(QProcess::nullDevice());
    // Standard error is read only to keep its pipe flowing; its bytes are not wanted.
    QObject::connect(&child, &QProcess::readyReadStandardError, &child, [&child] { child.readAllStandardError(); });
    child.start(QIODevice::ReadOnly);
    if (!child.waitForStarted(-1))
        return std::nullopt;

    // waitForFinished reads both pipes into the process object as data arrives.
    const QDeadlineTimer deadline(limit);
    while (child.state() != QProcess::NotRunning && !deadline.hasExpired())
        child.waitForFinished(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    if (child.state() != QProcess::NotRunning) {
        child.terminate();
        if (!child.waitForFinished(kTerminateGraceMs)) {
            child.kill();
            child.waitForFinished(kTerminateGraceMs);
        }
    }
    return child.readAllStandardOutput();
}

} // namespace larkfold::platform
