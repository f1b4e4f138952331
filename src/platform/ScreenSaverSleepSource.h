#pragma once

#include "platform/ScreenSleepSource.h"

#include <QDBusConnection>

#include <memory>
#include <optional>

class OrgFreedesktopScreenSaverInterface;
class OrgGnomeScreenSaverInterface;

namespace larkfold::platform {

class BusNameWatch;

// Screens sleeping and waking from the session's screen saver: ActiveChanged(true) of
// org.freedesktop.ScreenSaver (or of GNOME Shell's org.gnome.ScreenSaver) means they went to
// sleep, ActiveChanged(false) that they woke. Without a screen saver on the bus neither ever
// happens, which is logged once; one that appears later is heard from then on.
class ScreenSaverSleepSource final : public ScreenSleepSource {
    Q_OBJECT
public:
    static constexpr const char* kFreedesktopService = "org.freedesktop.ScreenSaver";
    static constexpr const char* kFreedesktopPath = "/org/freedesktop/ScreenSaver";
    static constexpr const char* kGnomeService = "org.gnome.ScreenSaver";
    static constexpr const char* kGnomePath = "/org/gnome/ScreenSaver";

    explicit ScreenSaverSleepSource(const QDBusConnection& connection = QDBusConnection::sessionBus(),
                                    QObject* parent = nullptr);
    ~ScreenSaverSleepSource() override;

private:
    void activeChanged(bool active);
    void presenceAnswered();

    std::unique_ptr<OrgFreedesktopScreenSaverInterface> m_freedesktop;
    std::unique_ptr<OrgGnomeScreenSaverInterface> m_gnome;
    BusNameWatch* m_freedesktopName;
    BusNameWatch* m_gnomeName;
    // What the screen saver last said, so one that repeats itself is heard once.
    std::optional<bool> m_active;
    bool m_absenceLogged = false;
};

} // namespace larkfold::platform
