#include "store/BackupPair.h"

#include "platform/Json.h"

namespace larkfold {

using platform::Json;
namespace json = platform::json;

namespace {

// Optional fields without a value are left out of the file.
template <class T, class Encode>
void putIfPresent(Json& object, const char* key, const std::optional<T>& value, Encode encode)
{
    if (value)
        object[key] = encode(*value);
}

std::int64_t asIs(std::int64_t value)
{
    return value;
}

std::string encodeFolderUrl(const std::filesystem::path& path)
{
    return platform::encodeFileUrl(path, true);
}

} // namespace

Json BackupPair::toJson() const
{
    Json object{
        {"id", platform::encodeUuid(id)},
        {"name", name.toStdString()},
        {"sourceURL", encodeFolderUrl(sourceURL)},
        {"destinationURL", encodeFolderUrl(destinationURL)},
        {"isEnabled", isEnabled},
        {"createdAt", platform::encodeDate(createdAt)},
        {"profile", storedString(profile)},
        {"didSuggestProfile", didSuggestProfile},
    };
    putIfPresent(object, "sourceBookmark", sourceBookmark, platform::encodeBase64);
    putIfPresent(object, "destinationBookmark", destinationBookmark, platform::encodeBase64);
    putIfPresent(object, "lastBackupAt", lastBackupAt, platform::encodeDate);
    putIfPresent(object, "lastBackupFileCount", lastBackupFileCount, asIs);
    putIfPresent(object, "lastBackupByteCount", lastBackupByteCount, asIs);
    putIfPresent(object, "offsiteURL", offsiteURL, encodeFolderUrl);
    putIfPresent(object, "offsiteBookmark", offsiteBookmark, platform::encodeBase64);
    putIfPresent(object, "lastOffsiteAt", lastOffsiteAt, platform::encodeDate);
    putIfPresent(object, "lastOffsiteFileCount", lastOffsiteFileCount, asIs);
    if (!sourceMountPoints.empty()) {
        Json mountPoints = Json::array();
        for (const auto& mountPoint : sourceMountPoints)
            mountPoints.push_back(encodeFolderUrl(mountPoint));
        object["sourceMountPoints"] = std::move(mountPoints);
    }
    return object;
}

BackupPair BackupPair::fromJson(const Json& object)
{
    BackupPair pair;
    pair.id = json::requireUuid(object, "id");
    pair.name = QString::fromStdString(json::requireString(object, "name"));
    pair.sourceURL = json::requireFileUrl(object, "sourceURL");
    pair.destinationURL = json::requireFileUrl(object, "destinationURL");
    pair.sourceBookmark = json::optionalBase64(object, "sourceBookmark");
    pair.destinationBookmark = json::optionalBase64(object, "destinationBookmark");
    pair.isEnabled = json::requireBool(object, "isEnabled");
    pair.createdAt = json::requireDate(object, "createdAt");
    pair.lastBackupAt = json::optionalDate(object, "lastBackupAt");
    pair.lastBackupFileCount = json::optionalInt(object, "lastBackupFileCount");
    pair.lastBackupByteCount = json::optionalInt(object, "lastBackupByteCount");
    pair.offsiteURL = json::optionalFileUrl(object, "offsiteURL");
    pair.offsiteBookmark = json::optionalBase64(object, "offsiteBookmark");
    pair.lastOffsiteAt = json::optionalDate(object, "lastOffsiteAt");
    pair.lastOffsiteFileCount = json::optionalInt(object, "lastOffsiteFileCount");
    pair.profile = optionalEnum<BackupProfile>(object, "profile").value_or(BackupProfile::standard);
    pair.didSuggestProfile = json::optionalBool(object, "didSuggestProfile").value_or(false);
    pair.sourceMountPoints = json::optionalFileUrlList(object, "sourceMountPoints");
    return pair;
}

QString BackupPair::sanitizedFolderName(const QString& name)
{
    // The order matters: ".." goes before NUL, and the trim runs once, before leading dots go.
    QString text = name;
    text.remove(QStringLiteral(".."));
    text.remove(QLatin1Char('/'));
    text.remove(QLatin1Char('\\'));
    text.remove(QChar(u'\0'));
    text = text.trimmed();
    qsizetype dots = 0;
    while (dots < text.size() && text.at(dots) == QLatin1Char('.'))
        ++dots;
    text.remove(0, dots);
    return text.isEmpty() ? QStringLiteral("Untitled Backup") : text;
}

} // namespace larkfold
