#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace larkfold::test {

// The NetworkManager states the program tells apart.
inline constexpr uint kNetworkAsleep = 10;
inline constexpr uint kNetworkConnectedLocal = 50;
inline constexpr uint kNetworkConnectedGlobal = 70;

// NetworkManager as a bus shows it: its State property and StateChanged signal. Check isRegistered().
class FakeNetworkManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.NetworkManager")
    Q_PROPERTY(uint State MEMBER m_state)
public:
    FakeNetworkManager(QDBusConnection connection, uint state);
    ~FakeNetworkManager() override;

    bool isRegistered() const { return m_registered; }
    void changeState(uint state);

private:
    QDBusConnection m_connection;
    uint m_state;
    bool m_registered = false;
};

// A service's name held on a bus, and the signals it sends there.
class FakeBusService {
public:
    FakeBusService(QDBusConnection connection, QString service);
    ~FakeBusService();

    bool isRegistered() const { return m_registered; }

protected:
    void sendSignal(const QString& path, const QString& interface, const QString& name, const QVariant& argument);

private:
    QDBusConnection m_connection;
    QString m_service;
    bool m_registered = false;
};

// systemd-logind, telling of suspend and wake with PrepareForSleep.
class FakeLogind : public FakeBusService {
public:
    explicit FakeLogind(QDBusConnection connection);
    // PrepareForSleep(true) then PrepareForSleep(false).
    void sleepAndWake();
};

// The session's org.freedesktop.ScreenSaver, telling of the screens with ActiveChanged.
class FakeScreenSaver : public FakeBusService {
public:
    explicit FakeScreenSaver(QDBusConnection connection);
    // ActiveChanged(true): the screens went to sleep; false: they woke.
    void setActive(bool active);
};

// The desktop's file manager as org.freedesktop.FileManager1: records what it was asked to show.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    explicit FakeFileManager(QDBusConnection connection);
    ~FakeFileManager() override;

    bool isRegistered() const { return m_registered; }
    // Each call as "ShowFolders file:///..." or "ShowItems file:///...", one per URI.
    const QStringList& calls() const { return m_calls; }

public slots:
    void ShowFolders(const QStringList& uris, const QString& startupId);
    void ShowItems(const QStringList& uris, const QString& startupId);

private:
    QDBusConnection m_connection;
    QStringList m_calls;
    bool m_registered = false;
};

} // namespace larkfold::test
