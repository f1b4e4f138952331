#include "copy/TemporaryNames.h"

#include "copy/FileNames.h"

#include <QUuid>

namespace larkfold {

namespace {

// Longest file name most Linux file systems accept, in bytes.
constexpr std::size_t kMaxNameBytes = 255;

std::string withPrefix(std::string prefix, std::string_view name)
{
    const std::size_t room = prefix.size() < kMaxNameBytes ? kMaxNameBytes - prefix.size() : 0;
    prefix.append(name.substr(0, room));
    return prefix;
}

} // namespace

std::string shortUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().left(8).toStdString();
}

std::string resumeName(std::int64_t sourceSize, std::string_view name)
{
    return withPrefix(std::string(kResumeNamePrefix) + std::to_string(sourceSize) + "-", name);
}

std::string collisionName(std::string_view name)
{
    const std::string suffix = "-" + shortUuid();
    const std::size_t dot = name.rfind('.');
    // A leading dot starts a hidden name, not an extension (".profile" has none).
    const bool hasExtension = dot != std::string_view::npos && dot > 0;
    std::string_view stem = hasExtension ? name.substr(0, dot) : name;
    const std::string_view extension = hasExtension ? name.substr(dot) : std::string_view();
    const std::size_t fixed = suffix.size() + extension.size();
    if (stem.size() + fixed > kMaxNameBytes)
        stem = stem.substr(0, fixed < kMaxNameBytes ? kMaxNameBytes - fixed : 0);
    return std::string(stem) + suffix + std::string(extension);
}

} // namespace larkfold
