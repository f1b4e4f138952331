#include "platform/AtomicFile.h"

#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace larkfold::platform {

QString writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, FileAccess access)
{
    QSaveFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    // On the temporary, before any content: the rename carries the mode over.
    if (access == FileAccess::ownerOnly && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        const QString error = file.errorString();
        file.cancelWriting();
        return error;
    }
    if (file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size())) {
        const QString error = file.errorString();
        file.cancelWriting();
        return error;
    }
    if (!file.commit())
        return file.errorString();
    // QSaveFile syncs the data but not the folder entry of the rename.
    const int dir = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

bool readWholeFile(const std::filesystem::path& path, std::string& bytes, QString& error, int* errorNumber)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    auto failWith = [&](int code) {
        error = QString::fromLocal8Bit(std::strerror(code));
        if (errorNumber)
            *errorNumber = code;
        return false;
    };
    if (fd < 0)
        return failWith(errno);
    bytes.clear();
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int code = errno;
            ::close(fd);
            return failWith(code);
        }
        if (n == 0)
            break;
        bytes.append(buffer, size_t(n));
    }
    ::close(fd);
    return true;
}

} // namespace larkfold::platform
