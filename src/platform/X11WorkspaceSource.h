#pragma once

#include "platform/WorkspaceSource.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <optional>

class QSocketNotifier;

namespace larkfold::platform {

// Workspace switches on X11: changes of the root window's _NET_CURRENT_DESKTOP, which the window
// manager keeps, heard over a connection of its own to the X server.
class X11WorkspaceSource final : public WorkspaceSource {
    Q_OBJECT
public:
    // `display` empty: the one DISPLAY names. Without a server the reason is logged and it never reports.
    explicit X11WorkspaceSource(const QByteArray& display = {}, QObject* parent = nullptr);
    ~X11WorkspaceSource() override;

    bool isWatching() const { return m_notifier != nullptr; }

private:
    struct Connection;

    std::optional<std::uint32_t> readCurrentDesktop();
    void readEvents();
    void stopWatching(const char* reason);

    std::unique_ptr<Connection> m_x11;
    QSocketNotifier* m_notifier = nullptr;
    std::optional<std::uint32_t> m_currentDesktop;
    bool m_stopped = false;
};

} // namespace larkfold::platform
