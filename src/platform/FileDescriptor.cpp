#include "platform/FileDescriptor.h"

#include <unistd.h>

namespace larkfold::platform {

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept
{
    if (this != &other) {
        close();
        m_fd = other.release();
    }
    return *this;
}

int Descriptor::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void Descriptor::close()
{
    // Linux releases the descriptor even when close reports EINTR, so it is never retried.
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace larkfold::platform
