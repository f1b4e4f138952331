#include "platform/XEmbedTray.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <string>

namespace larkfold::platform {

bool isXEmbedTrayPresent(const QByteArray& display)
{
    int screen = 0;
    xcb_connection_t* connection = xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screen);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return false;
    }
    const std::string selection = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
    bool owned = false;
    if (xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, selection.size(), selection.c_str()), nullptr)) {
        if (xcb_get_selection_owner_reply_t* owner =
                xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr)) {
            owned = owner->owner != XCB_NONE;
            std::free(owner);
        }
        std::free(atom);
    }
    xcb_disconnect(connection);
    return owned;
}

} // namespace larkfold::platform
