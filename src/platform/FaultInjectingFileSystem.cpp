#include "platform/FaultInjectingFileSystem.h"

namespace larkfold::platform {

FaultInjectingFileSystem::FaultInjectingFileSystem(FileSystem& inner) : m_inner(inner) {}

void FaultInjectingFileSystem::failNth(FileOperation operation, int n, int errorNumber)
{
    std::lock_guard lock(m_mutex);
    m_faults.push_back({operation, n < 1 ? 1 : n, errorNumber});
}

void FaultInjectingFileSystem::failAlways(FileOperation operation, int errorNumber)
{
    std::lock_guard lock(m_mutex);
    m_faults.push_back({operation, 0, errorNumber});
}

void FaultInjectingFileSystem::endFileEarly(int n)
{
    std::lock_guard lock(m_mutex);
    m_readsUntilEarlyEnd = n < 1 ? 1 : n;
}

void FaultInjectingFileSystem::acceptNoWrites()
{
    std::lock_guard lock(m_mutex);
    m_acceptNoWrites = true;
}

void FaultInjectingFileSystem::keepTimesTo(int seconds)
{
    std::lock_guard lock(m_mutex);
    m_timeResolutionSeconds = seconds;
}

std::timespec FaultInjectingFileSystem::kept(std::timespec time) const
{
    std::lock_guard lock(m_mutex);
    if (m_timeResolutionSeconds <= 0)
        return time;
    time_t seconds = time.tv_sec - time.tv_sec % m_timeResolutionSeconds;
    if (time.tv_sec < 0 && time.tv_sec % m_timeResolutionSeconds != 0)
        seconds -= m_timeResolutionSeconds;
    return {seconds, 0};
}

void FaultInjectingFileSystem::beforeNth(FileOperation operation, int n, std::function<void()> action)
{
    std::lock_guard lock(m_mutex);
    m_actions.push_back({operation, n < 1 ? 1 : n, std::move(action)});
}

void FaultInjectingFileSystem::clearFaults()
{
    std::lock_guard lock(m_mutex);
    m_faults.clear();
    m_actions.clear();
    m_readsUntilEarlyEnd = 0;
    m_acceptNoWrites = false;
    m_timeResolutionSeconds = 0;
}

bool FaultInjectingFileSystem::endsEarly()
{
    std::lock_guard lock(m_mutex);
    return m_readsUntilEarlyEnd > 0 && --m_readsUntilEarlyEnd == 0;
}

int FaultInjectingFileSystem::callCount(FileOperation operation) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_callCounts.find(operation);
    return it == m_callCounts.end() ? 0 : it->second;
}

std::vector<std::filesystem::path> FaultInjectingFileSystem::openedPaths() const
{
    std::lock_guard lock(m_mutex);
    return m_openedPaths;
}

std::error_code FaultInjectingFileSystem::fault(FileOperation operation)
{
    std::vector<std::function<void()>> due;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_actions.begin(); it != m_actions.end();) {
            if (it->operation == operation && --it->remainingCalls == 0) {
                due.push_back(std::move(it->run));
                it = m_actions.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Outside the lock: an action may well use this file system itself.
    for (const auto& action : due)
        action();

    std::lock_guard lock(m_mutex);
    ++m_callCounts[operation];
    std::error_code error;
    for (auto it = m_faults.begin(); it != m_faults.end();) {
        if (it->operation != operation) {
            ++it;
            continue;
        }
        if (it->remainingCalls == 0) {
            error = posixError(it->errorNumber);
        } else if (--it->remainingCalls == 0) {
            error = posixError(it->errorNumber);
            it = m_faults.erase(it);
            continue;
        }
        ++it;
    }
    return error;
}

void FaultInjectingFileSystem::recordOpen(std::filesystem::path path)
{
    std::lock_guard lock(m_mutex);
    m_openedPaths.push_back(std::move(path));
}

PosixResult<Directory> FaultInjectingFileSystem::openDirectory(const std::filesystem::path& path)
{
    recordOpen(path);
    if (const auto error = fault(FileOperation::open))
        return error;
    return m_inner.openDirectory(path);
}

PosixResult<Directory> FaultInjectingFileSystem::openDirectory(const Directory& dir,
                                                               const std::filesystem::path& relative)
{
    recordOpen(dir.path() / relative);
    if (const auto error = fault(FileOperation::open))
        return error;
    return m_inner.openDirectory(dir, relative);
}

PosixResult<File> FaultInjectingFileSystem::openFile(const Directory& dir, const std::filesystem::path& relative,
                                                     OpenMode mode, std::uint32_t permissions)
{
    recordOpen(dir.path() / relative);
    if (const auto error = fault(FileOperation::open))
        return error;
    return m_inner.openFile(dir, relative, mode, permissions);
}

PosixResult<std::size_t> FaultInjectingFileSystem::read(const File& file, std::span<std::byte> buffer)
{
    if (const auto error = fault(FileOperation::read))
        return error;
    if (endsEarly())
        return std::size_t(0);
    return m_inner.read(file, buffer);
}

PosixResult<std::size_t> FaultInjectingFileSystem::write(const File& file, std::span<const std::byte> bytes)
{
    if (const auto error = fault(FileOperation::write))
        return error;
    {
        std::lock_guard lock(m_mutex);
        if (m_acceptNoWrites)
            return std::size_t(0);
    }
    return m_inner.write(file, bytes);
}

PosixResult<std::size_t> FaultInjectingFileSystem::copyRange(const File& from, const File& to, std::size_t maxBytes)
{
    if (const auto error = fault(FileOperation::copyRange))
        return error;
    if (const auto error = fault(FileOperation::read))
        return error;
    if (const auto error = fault(FileOperation::write))
        return error;
    if (endsEarly())
        return std::size_t(0);
    return m_inner.copyRange(from, to, maxBytes);
}

PosixResult<std::int64_t> FaultInjectingFileSystem::seek(const File& file, std::int64_t offset, SeekTo from)
{
    if (const auto error = fault(FileOperation::seek))
        return error;
    return m_inner.seek(file, offset, from);
}

std::error_code FaultInjectingFileSystem::setSize(const File& file, std::int64_t size)
{
    if (const auto error = fault(FileOperation::setSize))
        return error;
    return m_inner.setSize(file, size);
}

PosixResult<FileStatus> FaultInjectingFileSystem::status(const Directory& dir, const std::filesystem::path& relative)
{
    if (const auto error = fault(FileOperation::status))
        return error;
    return m_inner.status(dir, relative);
}

PosixResult<FileStatus> FaultInjectingFileSystem::status(const Descriptor& descriptor)
{
    if (const auto error = fault(FileOperation::status))
        return error;
    return m_inner.status(descriptor);
}

PosixResult<FileStatus> FaultInjectingFileSystem::statusAtPath(const std::filesystem::path& path)
{
    if (const auto error = fault(FileOperation::status))
        return error;
    return m_inner.statusAtPath(path);
}

std::error_code FaultInjectingFileSystem::checkAccess(const Directory& dir, const std::filesystem::path& relative,
                                                      Access access)
{
    if (const auto error = fault(FileOperation::access))
        return error;
    return m_inner.checkAccess(dir, relative, access);
}

PosixResult<std::vector<std::string>> FaultInjectingFileSystem::listDirectory(const Directory& dir)
{
    if (const auto error = fault(FileOperation::list))
        return error;
    return m_inner.listDirectory(dir);
}

std::error_code FaultInjectingFileSystem::createDirectory(const Directory& dir, const std::filesystem::path& relative,
                                                          std::uint32_t permissions)
{
    if (const auto error = fault(FileOperation::createDirectory))
        return error;
    return m_inner.createDirectory(dir, relative, permissions);
}

std::error_code FaultInjectingFileSystem::createSymlink(const Directory& dir, const std::filesystem::path& relative,
                                                        const std::string& target)
{
    if (const auto error = fault(FileOperation::createSpecial))
        return error;
    return m_inner.createSymlink(dir, relative, target);
}

PosixResult<std::string> FaultInjectingFileSystem::readSymlink(const Directory& dir,
                                                               const std::filesystem::path& relative)
{
    if (const auto error = fault(FileOperation::readLink))
        return error;
    return m_inner.readSymlink(dir, relative);
}

std::error_code FaultInjectingFileSystem::createFifo(const Directory& dir, const std::filesystem::path& relative,
                                                     std::uint32_t permissions)
{
    if (const auto error = fault(FileOperation::createSpecial))
        return error;
    return m_inner.createFifo(dir, relative, permissions);
}

std::error_code FaultInjectingFileSystem::rename(const Directory& fromDir, const std::filesystem::path& from,
                                                 const Directory& toDir, const std::filesystem::path& to,
                                                 RenameMode mode)
{
    const FileOperation operation = mode == RenameMode::replace     ? FileOperation::rename
                                  : mode == RenameMode::noReplace ? FileOperation::renameNoReplace
                                                                  : FileOperation::renameExchange;
    if (const auto error = fault(operation))
        return error;
    return m_inner.rename(fromDir, from, toDir, to, mode);
}

std::error_code FaultInjectingFileSystem::removeFile(const Directory& dir, const std::filesystem::path& relative)
{
    if (const auto error = fault(FileOperation::remove))
        return error;
    return m_inner.removeFile(dir, relative);
}

std::error_code FaultInjectingFileSystem::removeEmptyDirectory(const Directory& dir,
                                                               const std::filesystem::path& relative)
{
    if (const auto error = fault(FileOperation::remove))
        return error;
    return m_inner.removeEmptyDirectory(dir, relative);
}

std::error_code FaultInjectingFileSystem::setPermissions(const Descriptor& descriptor, std::uint32_t permissions)
{
    if (const auto error = fault(FileOperation::setPermissions))
        return error;
    return m_inner.setPermissions(descriptor, permissions);
}

std::error_code FaultInjectingFileSystem::setOwner(const Descriptor& descriptor, std::uint32_t owner,
                                                   std::uint32_t group)
{
    if (const auto error = fault(FileOperation::setOwner))
        return error;
    return m_inner.setOwner(descriptor, owner, group);
}

std::error_code FaultInjectingFileSystem::setTimes(const Descriptor& descriptor, std::timespec accessTime,
                                                   std::timespec modificationTime)
{
    if (const auto error = fault(FileOperation::setTimes))
        return error;
    return m_inner.setTimes(descriptor, kept(accessTime), kept(modificationTime));
}

std::error_code FaultInjectingFileSystem::setPermissionsAt(const Directory& dir,
                                                           const std::filesystem::path& relative,
                                                           std::uint32_t permissions)
{
    if (const auto error = fault(FileOperation::setPermissions))
        return error;
    return m_inner.setPermissionsAt(dir, relative, permissions);
}

std::error_code FaultInjectingFileSystem::setOwnerAt(const Directory& dir, const std::filesystem::path& relative,
                                                     std::uint32_t owner, std::uint32_t group)
{
    if (const auto error = fault(FileOperation::setOwner))
        return error;
    return m_inner.setOwnerAt(dir, relative, owner, group);
}

std::error_code FaultInjectingFileSystem::setTimesAt(const Directory& dir, const std::filesystem::path& relative,
                                                     std::timespec accessTime, std::timespec modificationTime)
{
    if (const auto error = fault(FileOperation::setTimes))
        return error;
    return m_inner.setTimesAt(dir, relative, kept(accessTime), kept(modificationTime));
}

PosixResult<std::vector<std::string>> FaultInjectingFileSystem::listExtendedAttributes(const Descriptor& descriptor)
{
    if (const auto error = fault(FileOperation::readAttributes))
        return error;
    return m_inner.listExtendedAttributes(descriptor);
}

PosixResult<std::string> FaultInjectingFileSystem::extendedAttribute(const Descriptor& descriptor,
                                                                     const std::string& name)
{
    if (const auto error = fault(FileOperation::readAttributes))
        return error;
    return m_inner.extendedAttribute(descriptor, name);
}

std::error_code FaultInjectingFileSystem::setExtendedAttribute(const Descriptor& descriptor, const std::string& name,
                                                               std::string_view value)
{
    if (const auto error = fault(FileOperation::writeAttributes))
        return error;
    return m_inner.setExtendedAttribute(descriptor, name, value);
}

std::error_code FaultInjectingFileSystem::removeExtendedAttribute(const Descriptor& descriptor, const std::string& name)
{
    if (const auto error = fault(FileOperation::writeAttributes))
        return error;
    return m_inner.removeExtendedAttribute(descriptor, name);
}

std::error_code FaultInjectingFileSystem::syncFile(const Descriptor& descriptor)
{
    if (const auto error = fault(FileOperation::sync))
        return error;
    return m_inner.syncFile(descriptor);
}

std::error_code FaultInjectingFileSystem::syncFileSystem(const Descriptor& descriptor)
{
    if (const auto error = fault(FileOperation::sync))
        return error;
    return m_inner.syncFileSystem(descriptor);
}

std::error_code FaultInjectingFileSystem::lockExclusively(const Descriptor& descriptor)
{
    if (const auto error = fault(FileOperation::lock))
        return error;
    return m_inner.lockExclusively(descriptor);
}

StorageKind FaultInjectingFileSystem::storageKind(const Directory&)
{
    return StorageKind::unknown;
}

} // namespace larkfold::platform
