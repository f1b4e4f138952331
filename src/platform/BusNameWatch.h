#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <optional>

class QDBusServiceWatcher;

namespace larkfold::platform {

// Follows whether a name has an owner on a bus, without blocking: the bus's first answer and
// every later change arrive as presenceChanged. A bus that cannot be reached counts as the name
// being absent.
class BusNameWatch final : public QObject {
    Q_OBJECT
public:
    BusNameWatch(const QDBusConnection& connection, const QString& name, QObject* parent = nullptr);

    const QString& name() const { return m_name; }
    // None until the bus has answered.
    std::optional<bool> isPresent() const { return m_present; }

signals:
    void presenceChanged(bool present);

private:
    void setPresent(bool present);

    QString m_name;
    QDBusServiceWatcher* m_watcher;
    std::optional<bool> m_present;
};

} // namespace larkfold::platform
