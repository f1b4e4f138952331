#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace larkfold {

// One release an update feed announces.
struct AppcastItem {
    QString version;        // compared with compareVersions()
    QString displayVersion; // what the user reads; the version when the feed gives none
    QUrl releaseNotes;

    bool operator==(const AppcastItem&) const = default;
};

// An appcast: an RSS feed whose items carry a version (an element or an enclosure attribute
// named "version", in any namespace, or "shortVersionString" for the user) and a release-notes
// link ("releaseNotesLink", else the item's "link"; web pages only).
class Appcast {
public:
    // The item with the highest version; none, with `error` set, when the feed is not well-formed
    // XML or announces no item with a version.
    static std::optional<AppcastItem> newestItem(const QByteArray& feed, QString* error = nullptr);
};

// Orders dotted versions by their numbers ("1.10" after "1.9", "2" equal to "2.0"); a version
// with a suffix ("1.2-beta") comes before the same numbers without one. Negative, 0 or positive.
int compareVersions(const QString& a, const QString& b);
// Whether the text starts with a version number.
bool isVersion(const QString& text);

} // namespace larkfold
