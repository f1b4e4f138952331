#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <optional>
#include <vector>

namespace larkfold::test {

// One entry of a menu exported as com.canonical.dbusmenu.
struct DBusMenuEntry {
    int id = 0;
    QVariantMap properties;
    std::vector<DBusMenuEntry> children;

    // The label without its mnemonic marker ("_Quit" reads "Quit").
    QString label() const;
    bool isVisible() const { return properties.value(QStringLiteral("visible"), true).toBool(); }
    bool isEnabled() const { return properties.value(QStringLiteral("enabled"), true).toBool(); }
    bool isSeparator() const { return properties.value(QStringLiteral("type")).toString() == QStringLiteral("separator"); }
    bool isChecked() const { return properties.value(QStringLiteral("toggle-state")).toInt() == 1; }
    // The visible child of that label; null when there is none.
    const DBusMenuEntry* child(const QString& label) const;
    // The visible child whose label ends with `suffix` (a pair's row, whatever its status mark).
    const DBusMenuEntry* childEndingWith(const QString& suffix) const;
    // The labels of the visible children, separators as "-".
    QStringList childLabels() const;
};

// Drives a tray item (org.kde.StatusNotifierItem) the way a panel does: clicks on it, reads it and
// opens and clicks its exported menu. Every call waits for its answer while running the event
// loop, so the item may live in this process's main thread. Item ids of menu entries change when
// actions are re-created, so entries are found by label.
class StatusNotifierItemClient {
public:
    // `item` is "<bus name>/<object path>" as FakeStatusNotifierWatcher lists it.
    StatusNotifierItemClient(QDBusConnection connection, const QString& item);

    const QString& service() const { return m_service; }
    const QString& path() const { return m_path; }

    // A left click (arrives as QSystemTrayIcon::Trigger) and a right click (as Context).
    bool activate(int x = 0, int y = 0);
    bool contextMenu(int x = 0, int y = 0);
    // One property of the item (Status, Title, Menu, ...); invalid when it cannot be read.
    QVariant property(const QString& name);
    // The title of the item's tooltip, where Qt puts QSystemTrayIcon::toolTip().
    std::optional<QString> toolTipTitle();

    // The menu as a panel sees it when it opens: AboutToShow(0), then the whole layout.
    std::optional<DBusMenuEntry> menu();
    // The labels of the visible top-level entries, separators left out.
    QStringList menuLabels();
    // Sends "clicked" to the visible top-level entry of that label; false when there is none.
    bool clickMenuItem(const QString& label);
    // Opens the submenus along `path` as a panel does (AboutToShow on each) and clicks its last
    // entry. A label "*  Name" stands for any label ending with "  Name" (a mark, then a name).
    bool clickMenuPath(const QStringList& path);

private:
    QString menuPath();
    bool aboutToShow(const QString& path, int id);

    QDBusConnection m_connection;
    QString m_service;
    QString m_path;
};

} // namespace larkfold::test
