#include "copy/FileOperationError.h"

#include "store/Overloaded.h"

#include <system_error>

namespace larkfold {

PosixError PosixError::fromErrno(int errorNumber)
{
    // std::generic_category is thread-safe where strerror is not.
    return {errorNumber, QString::fromStdString(std::generic_category().message(errorNumber))};
}

QString errorDomain(const UnderlyingError& error)
{
    return std::visit(Overloaded{
                          [](const LarkfoldError&) { return QString::fromLatin1(kLarkfoldErrorDomain); },
                          [](const PosixError&) { return QString::fromLatin1(kPosixErrorDomain); },
                          [](const std::shared_ptr<const FileOperationError>& inner) { return inner->domain(); },
                      },
                      error);
}

int errorCode(const UnderlyingError& error)
{
    return std::visit(Overloaded{
                          [](const LarkfoldError& own) { return own.code; },
                          [](const PosixError& posix) { return posix.code; },
                          [](const std::shared_ptr<const FileOperationError>& inner) { return inner->code(); },
                      },
                      error);
}

QString errorDescription(const UnderlyingError& error)
{
    return std::visit(Overloaded{
                          [](const LarkfoldError& own) { return own.message; },
                          [](const PosixError& posix) { return posix.message; },
                          [](const std::shared_ptr<const FileOperationError>& inner) { return inner->description(); },
                      },
                      error);
}

FileOperationError::FileOperationError(std::filesystem::path url, QString operation, UnderlyingError underlying)
    : m_url(std::move(url)), m_operation(std::move(operation)), m_underlying(std::move(underlying))
{
}

FileOperationError FileOperationError::larkfold(int code, QString message, std::filesystem::path url,
                                                QString operation)
{
    return {std::move(url), std::move(operation), LarkfoldError{code, std::move(message)}};
}

FileOperationError FileOperationError::posix(int errorNumber, std::filesystem::path url, QString operation)
{
    return {std::move(url), std::move(operation), PosixError::fromErrno(errorNumber)};
}

FileOperationError FileOperationError::wrapping(FileOperationError inner, std::filesystem::path url,
                                                QString operation)
{
    return {std::move(url), std::move(operation), std::make_shared<const FileOperationError>(std::move(inner))};
}

bool FileOperationError::isLarkfold(int wanted) const
{
    return domain() == QLatin1String(kLarkfoldErrorDomain) && code() == wanted;
}

bool FileOperationError::isPosix(int errorNumber) const
{
    return domain() == QLatin1String(kPosixErrorDomain) && code() == errorNumber;
}

const FileOperationError* FileOperationError::inner() const
{
    const auto* nested = std::get_if<std::shared_ptr<const FileOperationError>>(&m_underlying);
    return nested ? nested->get() : nullptr;
}

} // namespace larkfold
