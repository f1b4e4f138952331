#include "platform/IdleTime.h"

#include <QByteArray>
#include <QDBusMessage>
#include <QVariant>

#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace larkfold::platform {

namespace {

// The query runs before copied files; a hung service must not hold a run for long.
constexpr int kCallTimeoutMs = 500;

std::optional<qulonglong> callForUnsigned(const QDBusConnection& bus, const QString& service, const QString& path,
                                          const QString& interface, const QString& method)
{
    if (!bus.isConnected())
        return std::nullopt;
    const QDBusMessage reply =
        bus.call(QDBusMessage::createMethodCall(service, path, interface, method), QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    bool ok = false;
    const qulonglong value = reply.arguments().first().toULongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

bool isWaylandSession()
{
    const char* type = std::getenv("XDG_SESSION_TYPE");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (type && QByteArray(type) == "wayland") || (wayland && *wayland);
}

} // namespace

struct SessionIdleTime::X11 {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    ~X11()
    {
        if (connection)
            xcb_disconnect(connection);
    }
};

SessionIdleTime::SessionIdleTime(QDBusConnection bus)
    : m_bus(std::move(bus))
{
    // Under Wayland the X server only sees input to X clients, so its idle time would call an
    // active user idle.
    const char* display = std::getenv("DISPLAY");
    m_useX11 = display && *display && !isWaylandSession();
}

SessionIdleTime::~SessionIdleTime() = default;

std::optional<IdleTime::Duration> SessionIdleTime::sessionIdleTime()
{
    if (auto idle = askMutter())
        return idle;
    if (auto idle = askScreenSaver())
        return idle;
    return askX11();
}

std::optional<IdleTime::Duration> SessionIdleTime::askMutter()
{
    const auto ms = callForUnsigned(m_bus, QStringLiteral("org.gnome.Mutter.IdleMonitor"),
                                    QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core"),
                                    QStringLiteral("org.gnome.Mutter.IdleMonitor"), QStringLiteral("GetIdletime"));
    return ms ? std::optional(Duration(*ms)) : std::nullopt;
}

std::optional<IdleTime::Duration> SessionIdleTime::askScreenSaver()
{
    // Read as milliseconds, which is what the common implementation returns; a server that
    // answers in seconds then only makes the user look active for longer, never idle too soon.
    const auto ms = callForUnsigned(m_bus, QStringLiteral("org.freedesktop.ScreenSaver"),
                                    QStringLiteral("/org/freedesktop/ScreenSaver"),
                                    QStringLiteral("org.freedesktop.ScreenSaver"),
                                    QStringLiteral("GetSessionIdleTime"));
    return ms ? std::optional(Duration(*ms)) : std::nullopt;
}

std::optional<IdleTime::Duration> SessionIdleTime::askX11()
{
    if (!m_useX11)
        return std::nullopt;
    std::lock_guard lock(m_x11Mutex);
    if (m_x11 && xcb_connection_has_error(m_x11->connection))
        m_x11.reset(); // the server went away; try a fresh connection
    if (!m_x11) {
        auto x11 = std::make_unique<X11>();
        int screenNumber = 0;
        x11->connection = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(x11->connection))
            return std::nullopt;
        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(x11->connection, &xcb_screensaver_id);
        if (!extension || !extension->present)
            return std::nullopt;
        xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(x11->connection));
        for (int i = 0; i < screenNumber && screen.rem > 0; ++i)
            xcb_screen_next(&screen);
        if (screen.rem <= 0)
            return std::nullopt;
        x11->root = screen.data->root;
        m_x11 = std::move(x11);
    }
    xcb_generic_error_t* error = nullptr;
    xcb_screensaver_query_info_reply_t* reply = xcb_screensaver_query_info_reply(
        m_x11->connection, xcb_screensaver_query_info(m_x11->connection, m_x11->root), &error);
    std::free(error);
    if (!reply)
        return std::nullopt;
    const Duration idle(reply->ms_since_user_input);
    std::free(reply);
    return idle;
}

std::optional<IdleTime::Duration> FakeIdleTime::sessionIdleTime()
{
    ++m_queries;
    std::lock_guard lock(m_mutex);
    return m_idle;
}

void FakeIdleTime::set(std::optional<Duration> idle)
{
    std::lock_guard lock(m_mutex);
    m_idle = idle;
}

namespace {
std::atomic<IdleTime*> g_idleOverride{nullptr};
}

IdleTime& idleTime()
{
    if (IdleTime* source = g_idleOverride.load())
        return *source;
    // Never destroyed: a bus connection must not outlive the application object at exit.
    static SessionIdleTime* session = new SessionIdleTime;
    return *session;
}

void setIdleTime(IdleTime* source)
{
    g_idleOverride.store(source);
}

} // namespace larkfold::platform
