#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <vector>

namespace larkfold::test {

// A desktop notification server that only records the Notify calls it receives and describes
// itself as "Fake Notifications" by "Larkfold Tests".
class FakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString appName;
        uint replacesId = 0;
        QString appIcon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int expireTimeout = 0;
    };

    // Registers the server's name and object on `connection`; check isRegistered().
    explicit FakeNotificationServer(QDBusConnection connection);
    ~FakeNotificationServer() override;

    bool isRegistered() const { return m_registered; }
    const std::vector<Call>& calls() const { return m_calls; }
    void clear() { m_calls.clear(); }

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int expireTimeout);
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion);

private:
    QDBusConnection m_connection;
    bool m_registered = false;
    std::vector<Call> m_calls;
    uint m_nextId = 1;
};

} // namespace larkfold::test
