#include "platform/X11WorkspaceSource.h"

#include "platform/Log.h"

#include <QSocketNotifier>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace larkfold::platform {
namespace {

constexpr char kCurrentDesktopAtom[] = "_NET_CURRENT_DESKTOP";

} // namespace

struct X11WorkspaceSource::Connection {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t currentDesktop = XCB_ATOM_NONE;
    ~Connection()
    {
        if (connection)
            xcb_disconnect(connection);
    }
};

X11WorkspaceSource::X11WorkspaceSource(const QByteArray& display, QObject* parent)
    : WorkspaceSource(parent)
    , m_x11(std::make_unique<Connection>())
{
    int screenNumber = 0;
    m_x11->connection = xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber);
    if (xcb_connection_has_error(m_x11->connection)) {
        stopWatching("no connection to the X server");
        return;
    }
    xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(m_x11->connection));
    for (int i = 0; i < screenNumber && screen.rem > 0; ++i)
        xcb_screen_next(&screen);
    if (screen.rem <= 0) {
        stopWatching("the X server has no such screen");
        return;
    }
    m_x11->root = screen.data->root;

    // Interned even before a window manager sets it, so a later one is heard.
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        m_x11->connection,
        xcb_intern_atom(m_x11->connection, 0, std::strlen(kCurrentDesktopAtom), kCurrentDesktopAtom), nullptr);
    if (!atom) {
        stopWatching("the X server did not answer");
        return;
    }
    m_x11->currentDesktop = atom->atom;
    std::free(atom);

    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_x11->connection, m_x11->root, XCB_CW_EVENT_MASK, &events);
    m_currentDesktop = readCurrentDesktop();

    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_x11->connection), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11WorkspaceSource::readEvents);
    // Events may have arrived with the answers above, before anything watched the socket.
    readEvents();
}

X11WorkspaceSource::~X11WorkspaceSource() = default;

std::optional<std::uint32_t> X11WorkspaceSource::readCurrentDesktop()
{
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        m_x11->connection,
        xcb_get_property(m_x11->connection, 0, m_x11->root, m_x11->currentDesktop, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    if (!reply)
        return std::nullopt;
    std::optional<std::uint32_t> desktop;
    if (reply->format == 32 && xcb_get_property_value_length(reply) >= int(sizeof(std::uint32_t)))
        desktop = *static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    std::free(reply);
    return desktop;
}

void X11WorkspaceSource::readEvents()
{
    bool switched = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_x11->connection)) {
        const bool desktopChanged = (event->response_type & ~0x80) == XCB_PROPERTY_NOTIFY
                                    && reinterpret_cast<xcb_property_notify_event_t*>(event)->atom
                                           == m_x11->currentDesktop;
        std::free(event);
        if (!desktopChanged)
            continue;
        // Window managers also write the property again unchanged.
        const std::optional<std::uint32_t> desktop = readCurrentDesktop();
        if (desktop != m_currentDesktop) {
            m_currentDesktop = desktop;
            switched = true;
        }
    }
    if (xcb_connection_has_error(m_x11->connection))
        stopWatching("the connection to the X server was lost");
    if (switched)
        emit activeWorkspaceChanged();
}

void X11WorkspaceSource::stopWatching(const char* reason)
{
    if (m_stopped)
        return;
    m_stopped = true;
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier->deleteLater(); // perhaps from inside its own signal
        m_notifier = nullptr;
    }
    qCWarning(lcApp).noquote() << "Workspace switches are not seen:" << reason;
}

} // namespace larkfold::platform
