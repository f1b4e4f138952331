#include "platform/ScreenSaverSleepSource.h"

#include "platform/BusNameWatch.h"
#include "platform/Log.h"

#include "org_freedesktop_screensaver_interface.h"
#include "org_gnome_screensaver_interface.h"

namespace larkfold::platform {

ScreenSaverSleepSource::ScreenSaverSleepSource(const QDBusConnection& connection, QObject* parent)
    : ScreenSleepSource(parent)
    , m_freedesktop(std::make_unique<OrgFreedesktopScreenSaverInterface>(
          QString::fromLatin1(kFreedesktopService), QString::fromLatin1(kFreedesktopPath), connection))
    , m_gnome(std::make_unique<OrgGnomeScreenSaverInterface>(QString::fromLatin1(kGnomeService),
                                                             QString::fromLatin1(kGnomePath), connection))
    , m_freedesktopName(new BusNameWatch(connection, QString::fromLatin1(kFreedesktopService), this))
    , m_gnomeName(new BusNameWatch(connection, QString::fromLatin1(kGnomeService), this))
{
    connect(m_freedesktop.get(), &OrgFreedesktopScreenSaverInterface::ActiveChanged, this,
            &ScreenSaverSleepSource::activeChanged);
    connect(m_gnome.get(), &OrgGnomeScreenSaverInterface::ActiveChanged, this, &ScreenSaverSleepSource::activeChanged);
    connect(m_freedesktopName, &BusNameWatch::presenceChanged, this, &ScreenSaverSleepSource::presenceAnswered);
    connect(m_gnomeName, &BusNameWatch::presenceChanged, this, &ScreenSaverSleepSource::presenceAnswered);
}

ScreenSaverSleepSource::~ScreenSaverSleepSource() = default;

void ScreenSaverSleepSource::activeChanged(bool active)
{
    if (m_active == active)
        return;
    m_active = active;
    if (active)
        emit screensDidSleep();
    else
        emit screensDidWake();
}

void ScreenSaverSleepSource::presenceAnswered()
{
    if (m_absenceLogged || m_freedesktopName->isPresent() != false || m_gnomeName->isPresent() != false)
        return;
    m_absenceLogged = true;
    qCInfo(lcApp) << "No screen saver on the session bus: the screens going to sleep and waking are not seen";
}

} // namespace larkfold::platform
