#pragma once

#include <cerrno>
#include <optional>
#include <system_error>
#include <utility>

namespace larkfold::platform {

// The error of a failed system call, by errno (system category, so it compares with std::errc).
inline std::error_code posixError(int errorNumber)
{
    return std::error_code(errorNumber, std::system_category());
}

// The current errno as an error; for use straight after a failed call.
inline std::error_code lastPosixError()
{
    return posixError(errno);
}

// A value or the errno-carrying error that kept it from being made. Never throws.
template <typename T>
class PosixResult {
public:
    PosixResult(T value) : m_value(std::move(value)) {}
    PosixResult(std::error_code error) : m_error(error) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    // Empty when ok().
    std::error_code error() const { return m_error; }

    // Only when ok().
    T& value() & { return *m_value; }
    const T& value() const& { return *m_value; }
    T&& value() && { return std::move(*m_value); }
    T* operator->() { return &*m_value; }
    const T* operator->() const { return &*m_value; }
    T& operator*() & { return *m_value; }
    const T& operator*() const& { return *m_value; }

private:
    std::optional<T> m_value;
    std::error_code m_error;
};

} // namespace larkfold::platform
