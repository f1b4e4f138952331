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
    // A leading dot starts a hidden name, not an extension (".profile" has none). An extension
    // that leaves no room for the suffix and some of the stem is taken as part of the name.
    const bool hasExtension = dot != std::string_view::npos && dot > 0
                           && name.size() - dot + suffix.size() < kMaxNameBytes;
    const std::string_view stem = hasExtension ? name.substr(0, dot) : name;
    const std::string_view extension = hasExtension ? name.substr(dot) : std::string_view();
    const std::size_t room = kMaxNameBytes - suffix.size() - extension.size();
    return std::string(cutToFit(stem, room)) + suffix + std::string(extension);
}

} // namespace larkfold
