#include "app/Appcast.h"

#include <QXmlStreamReader>

#include <vector>

namespace larkfold {
namespace {

struct ParsedVersion {
    std::vector<qulonglong> numbers;
    QString suffix;
};

ParsedVersion parseVersion(const QString& text)
{
    ParsedVersion parsed;
    const QString trimmed = text.trimmed();
    qsizetype i = 0;
    while (i < trimmed.size() && trimmed[i].isDigit()) {
        const qsizetype start = i;
        while (i < trimmed.size() && trimmed[i].isDigit())
            ++i;
        parsed.numbers.push_back(trimmed.mid(start, i - start).toULongLong());
        if (i + 1 < trimmed.size() && trimmed[i] == u'.' && trimmed[i + 1].isDigit())
            ++i;
        else
            break;
    }
    parsed.suffix = trimmed.mid(i);
    return parsed;
}

struct ItemFields {
    QString version;
    QString shortVersion;
    QString releaseNotesLink;
    QString link;
};

void readEnclosure(const QXmlStreamReader& reader, ItemFields& fields)
{
    for (const QXmlStreamAttribute& attribute : reader.attributes()) {
        if (attribute.name() == u"version" && fields.version.isEmpty())
            fields.version = attribute.value().toString().trimmed();
        else if (attribute.name() == u"shortVersionString" && fields.shortVersion.isEmpty())
            fields.shortVersion = attribute.value().toString().trimmed();
    }
}

// Reads the item's elements up to its end tag.
ItemFields readItem(QXmlStreamReader& reader)
{
    ItemFields fields;
    int depth = 1;
    while (depth > 0 && !reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::EndElement) {
            --depth;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = reader.name();
        if (name == u"enclosure") {
            readEnclosure(reader, fields);
            ++depth;
        } else if (depth == 1 && name == u"version") {
            fields.version = reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        } else if (depth == 1 && name == u"shortVersionString") {
            fields.shortVersion = reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        } else if (depth == 1 && name == u"releaseNotesLink") {
            fields.releaseNotesLink = reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        } else if (depth == 1 && name == u"link") {
            fields.link = reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        } else {
            ++depth;
        }
    }
    return fields;
}

} // namespace

bool isVersion(const QString& text)
{
    return !parseVersion(text).numbers.empty();
}

int compareVersions(const QString& a, const QString& b)
{
    const ParsedVersion left = parseVersion(a);
    const ParsedVersion right = parseVersion(b);
    const std::size_t count = std::max(left.numbers.size(), right.numbers.size());
    for (std::size_t i = 0; i < count; ++i) {
        const qulonglong l = i < left.numbers.size() ? left.numbers[i] : 0;
        const qulonglong r = i < right.numbers.size() ? right.numbers[i] : 0;
        if (l != r)
            return l < r ? -1 : 1;
    }
    if (left.suffix.isEmpty() != right.suffix.isEmpty())
        return left.suffix.isEmpty() ? 1 : -1;
    return left.suffix.compare(right.suffix);
}

std::optional<AppcastItem> Appcast::newestItem(const QByteArray& feed, QString* error)
{
    QXmlStreamReader reader(feed);
    std::optional<AppcastItem> newest;
    bool sawRss = false;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (reader.name() == u"rss")
            sawRss = true;
        if (reader.name() != u"item")
            continue;
        const ItemFields fields = readItem(reader);
        if (!isVersion(fields.version))
            continue;
        if (newest && compareVersions(fields.version, newest->version) <= 0)
            continue;
        const QString notes = fields.releaseNotesLink.isEmpty() ? fields.link : fields.releaseNotesLink;
        QUrl notesUrl(notes, QUrl::StrictMode);
        // The link is opened for the user: only a web page, never a local file or a program.
        if (notesUrl.scheme() != u"https" && notesUrl.scheme() != u"http")
            notesUrl = QUrl();
        newest = AppcastItem{fields.version, fields.shortVersion.isEmpty() ? fields.version : fields.shortVersion,
                             notesUrl};
    }
    const auto fail = [&](const QString& why) -> std::optional<AppcastItem> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (reader.hasError())
        return fail(QStringLiteral("The update feed is not valid XML: %1").arg(reader.errorString()));
    if (!sawRss)
        return fail(QStringLiteral("The update feed is not an RSS feed."));
    if (!newest)
        return fail(QStringLiteral("The update feed lists no version."));
    return newest;
}

} // namespace larkfold
