#include "status/RestoreFileItem.h"

#include "copy/FileNames.h"
#include "platform/Utf8.h"

#include <QDate>
#include <QLocale>

#include <array>

namespace larkfold {
namespace {

struct IconRule {
    const char* icon;
    std::initializer_list<std::string_view> extensions;
};

const std::array<IconRule, 6>& iconRules()
{
    static const std::array<IconRule, 6> rules{{
        {"photo", {"jpg", "jpeg", "png", "gif", "heic", "webp", "svg"}},
        {"film", {"mp4", "mov", "avi", "mkv"}},
        {"music.note", {"mp3", "aac", "wav", "flac", "m4a"}},
        {"doc.richtext", {"pdf"}},
        {"doc.zipper", {"zip", "gz", "tar", "rar", "7z"}},
        {"chevron.left.forwardslash.chevron.right", {"swift", "py", "js", "ts", "html", "css", "json", "xml"}},
    }};
    return rules;
}

} // namespace

RestoreFileItem RestoreFileItem::make(std::string relativePath, std::int64_t fileSize, std::string day)
{
    RestoreFileItem item;
    item.id = QUuid::createUuid();
    const std::size_t slash = relativePath.rfind('/');
    item.name = slash == std::string::npos ? relativePath : relativePath.substr(slash + 1);
    item.relativePath = std::move(relativePath);
    item.fileSize = fileSize;
    item.displayName = platform::readableText(item.name);
    item.displayPath = platform::readableText(item.relativePath);
    item.searchName = item.displayName.toLower();
    item.searchPath = item.displayPath.toLower();
    if (!day.empty()) {
        const QDate date = QDate::fromString(QString::fromLatin1(day.data(), qsizetype(day.size())), Qt::ISODate);
        item.displayDay = QLocale(QLocale::English).toString(date, QStringLiteral("d MMM yyyy"));
        item.day = std::move(day);
    }
    return item;
}

QString restoreIconName(std::string_view name)
{
    const std::string extension = lowerCased(pathExtension(name));
    for (const IconRule& rule : iconRules()) {
        for (std::string_view candidate : rule.extensions) {
            if (extension == candidate)
                return QString::fromLatin1(rule.icon);
        }
    }
    return QStringLiteral("doc");
}

} // namespace larkfold
