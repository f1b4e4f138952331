#include "platform/XEmbedTray.h"
#include "support/EventLoop.h"
#include "support/PrivateXServer.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

using namespace larkfold::platform;
using larkfold::test::PrivateXServer;
using larkfold::test::spinUntil;

namespace {

// What an XEmbed tray does when it starts: takes the tray selection of the screen with a window
// of its own. It holds it as long as its connection lasts.
xcb_connection_t* takeTraySelection(const QByteArray& display)
{
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(display.constData(), &screenNumber);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    const char* name = "_NET_SYSTEM_TRAY_S0";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    xcb_set_selection_owner(connection, window, atom->atom, XCB_CURRENT_TIME);
    std::free(atom);
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr)); // a round trip
    return connection;
}

} // namespace

TEST(XEmbedTray, PresentWhileSomeoneHoldsTheScreensTraySelection)
{
    if (!PrivateXServer::isAvailable())
        GTEST_SKIP() << "Xvfb is not installed";
    PrivateXServer server(64, 64);
    ASSERT_TRUE(server.isRunning());
    EXPECT_FALSE(isXEmbedTrayPresent(server.display())) << "no tray yet";

    xcb_connection_t* tray = takeTraySelection(server.display());
    EXPECT_TRUE(isXEmbedTrayPresent(server.display()));
    xcb_disconnect(tray);
    // The server lets go of a selection once it has seen its owner's connection end.
    EXPECT_TRUE(spinUntil([&] { return !isXEmbedTrayPresent(server.display()); })) << "the tray has gone";

    EXPECT_FALSE(isXEmbedTrayPresent(QByteArrayLiteral(":9999"))) << "no X server";
}
