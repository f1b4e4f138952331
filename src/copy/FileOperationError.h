#pragma once

#include <QString>

#include <filesystem>
#include <memory>
#include <variant>

namespace larkfold {

// The domain of every error raised by the program's own checks.
inline constexpr const char* kLarkfoldErrorDomain = "Larkfold";
// The domain of an error number the kernel returned.
inline constexpr const char* kPosixErrorDomain = "POSIX";

// An error of the program's own checks: domain "Larkfold", a numeric code and the message the user sees.
struct LarkfoldError {
    int code = 0;
    QString message;
};

// An error the file system returned: the errno value and its text.
struct PosixError {
    int code = 0;
    QString message;

    // The error for `errorNumber` with the C library's text for it.
    static PosixError fromErrno(int errorNumber);
};

class FileOperationError;

// What made an operation fail. A failed step that is itself recorded as a FileOperationError
// (a folder creation inside archival) is kept whole as the cause.
using UnderlyingError = std::variant<LarkfoldError, PosixError, std::shared_ptr<const FileOperationError>>;

// "Larkfold" or "POSIX"; a nested record answers with its own cause's domain.
QString errorDomain(const UnderlyingError& error);
// The numeric code (an errno value for POSIX errors); a nested record answers with its own cause's code.
int errorCode(const UnderlyingError& error);
// The user-facing text; a nested record answers with its own description.
QString errorDescription(const UnderlyingError& error);

// The error record of the copy engines: which file or folder, which operation, and why.
// Immutable once made; cheap to copy.
class FileOperationError {
public:
    FileOperationError(std::filesystem::path url, QString operation, UnderlyingError underlying);

    // An error of the program's own checks, e.g. larkfold(1101, "Destination is inside…", dest, "validatePath").
    static FileOperationError larkfold(int code, QString message, std::filesystem::path url, QString operation);
    // A failed system call, from its errno value.
    static FileOperationError posix(int errorNumber, std::filesystem::path url, QString operation);
    // A record whose cause is another record (the inner one keeps its own url and operation).
    static FileOperationError wrapping(FileOperationError inner, std::filesystem::path url, QString operation);

    // The file or folder the failed operation concerned.
    const std::filesystem::path& url() const { return m_url; }
    // A short label such as "validatePath", "copy" or "archive".
    const QString& operation() const { return m_operation; }
    const UnderlyingError& underlying() const { return m_underlying; }

    // The cause's domain and code, looked up through nested records.
    QString domain() const { return errorDomain(m_underlying); }
    int code() const { return errorCode(m_underlying); }
    bool isLarkfold(int code) const;
    bool isPosix(int errorNumber) const;

    // The nested record when the cause is one, else null.
    const FileOperationError* inner() const;

    // The text the user sees: the cause's message.
    QString description() const { return errorDescription(m_underlying); }

private:
    std::filesystem::path m_url;
    QString m_operation;
    UnderlyingError m_underlying;
};

} // namespace larkfold
