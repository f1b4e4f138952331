#include "app/AppDelegate.h"

#include "app/StatusItemImage.h"
#include "app/WindowPlacement.h"
#include "engine/BackupEngine.h"
#include "engine/BackupTasks.h"
#include "engine/NestingMigration.h"
#include "filing/FilingPrompts.h"
#include "filing/FilingWindow.h"
#include "filing/PromoteViewModel.h"
#include "platform/BusNameWatch.h"
#include "platform/Log.h"
#include "platform/LoginItem.h"
#include "platform/LogindSessionActivitySource.h"
#include "platform/MainThread.h"
#include "platform/Paths.h"
#include "platform/ScreenSaverSleepSource.h"
#include "platform/WorkspaceSource.h"
#include "platform/XEmbedTray.h"
#include "platform/XdgAutostartLoginItem.h"
#include "setup/ProfileSuggestionView.h"
#include "setup/WelcomeView.h"
#include "shell/AppNotifications.h"
#include "status/AboutView.h"
#include "status/LearnView.h"
#include "status/PopoverView.h"
#include "status/RestoreView.h"
#include "status/RunErrorsView.h"
#include "store/ConfigStore.h"

#include <QApplication>
#include <QCursor>
#include <QDate>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace larkfold {
namespace {

constexpr const char* kStatusNotifierWatcher = "org.kde.StatusNotifierWatcher";
constexpr int kStatusItemPoints = 18;
constexpr std::chrono::milliseconds kStatusObservationInterval{200};
constexpr std::chrono::milliseconds kWelcomeDelay{100};

struct WindowSpec {
    const char* title;
    QSize size;
};

WindowSpec specOf(AppDelegate::WindowKind kind)
{
    using Kind = AppDelegate::WindowKind;
    switch (kind) {
    case Kind::welcome:
        return {"Welcome to Larkfold", {480, 380}};
    case Kind::restore:
        return {"Restore", {480, 520}};
    case Kind::profileSuggestion:
        return {"Smart setup", {460, 360}};
    case Kind::promote:
        return {"File a Finished Project", {520, 420}};
    case Kind::learn:
        return {"How Larkfold Works", {400, 520}};
    case Kind::about:
        return {"About Larkfold", {300, 240}};
    case Kind::runErrors:
        return {"Backup Problems", {680, 360}};
    }
    return {"Larkfold", {400, 300}};
}

} // namespace

AppDelegate::AppDelegate() : AppDelegate(Environment{})
{
}

AppDelegate::AppDelegate(Environment environment, QObject* parent)
    : QObject(parent), m_environment(std::move(environment))
{
    using Kind = WindowKind;
    for (const Kind kind : {Kind::about, Kind::learn, Kind::welcome, Kind::restore, Kind::promote,
                            Kind::profileSuggestion, Kind::runErrors})
        m_controllers[kind];
}

AppDelegate::~AppDelegate()
{
    stopStatusObservation();
    // Windows first: they observe the coordinator and the store.
    m_controllers.clear();
    m_popover.reset();
    m_statusItem.reset();
    m_statusManager.reset();
    m_configStore.reset();
}

SingletonWindowController& AppDelegate::controller(WindowKind kind)
{
    return m_controllers[kind];
}

void AppDelegate::applicationDidFinishLaunching()
{
    platform::requireMainThread("AppDelegate::applicationDidFinishLaunching");
    m_configStore = m_environment.appSupportFolder.empty()
        ? std::make_unique<ConfigStore>()
        : std::make_unique<ConfigStore>(m_environment.appSupportFolder);
    // Before any engine exists, so none looks for a pair folder still one level too deep.
    runNestingMigration(*m_configStore);

    if (!m_environment.screens)
        m_environment.screens = std::make_unique<platform::ScreenSaverSleepSource>(m_environment.sessionBus);
    m_environment.coordinator.screens = m_environment.screens.get();
    m_statusManager = std::make_unique<StatusManager>(*m_configStore, std::move(m_environment.coordinator));

    createStatusItem();
    setupPopover();
    startStatusObservation();
    if (!m_configStore->appConfig().hasCompletedOnboarding) {
        const QPointer<AppDelegate> self(this);
        QTimer::singleShot(kWelcomeDelay, this, [self] {
            if (self)
                self->showWelcome();
        });
    }
    observeNotifications();
    registerLaunchAtLogin();
}

bool AppDelegate::applicationWillTerminate(std::chrono::milliseconds bound)
{
    platform::requireMainThread("AppDelegate::applicationWillTerminate");
    stopStatusObservation();
    if (!m_statusManager) {
        platform::beginQuitting();
        return true;
    }
    // Nothing may start new work while the engines stop.
    m_statusManager->stopTimers();
    m_statusManager->volumeMonitor().stop();
    auto stoppedEngines = m_statusManager->stopAll();

    BackupTasks& tasks = BackupTasks::instance();
    if (tasks.runningCount() > 0) {
        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(&tasks, &BackupTasks::allEnded, &loop, &QEventLoop::quit);
        deadline.start(bound);
        if (tasks.runningCount() > 0)
            loop.exec();
    }
    const bool ended = tasks.runningCount() == 0;

    platform::beginQuitting();
    m_configStore->save();
    if (!ended) {
        qCWarning(lcApp).noquote() << QStringLiteral("Backup work did not stop in time; leaving without waiting for it.");
        // The engines' tasks still use them and the coordinator's parts: nothing may be destroyed.
        (void)m_statusManager.release();
        for (auto& engine : stoppedEngines)
            (void)engine.release();
        return false;
    }
    m_controllers.clear();
    m_popover.reset();
    m_promoteModel.reset();
    stoppedEngines.clear();
    m_statusManager.reset();
    return true;
}

// --- Status item ---

void AppDelegate::createStatusItem()
{
    m_menuBuilder = std::make_unique<StatusMenuBuilder>();
    connect(m_menuBuilder->menu(), &QMenu::aboutToShow, this, &AppDelegate::refreshMenu);
    // Also when the records change, so a tray host that reads the menu before it shows it
    // finds the rows there already.
    m_menuRefresh.setSingleShot(true);
    connect(&m_menuRefresh, &QTimer::timeout, this, [this] { updateMenu(); });
    for (const auto signal : {&ConfigStore::pairsChanged, &ConfigStore::eventsChanged, &ConfigStore::appConfigChanged})
        connect(m_configStore.get(), signal, &m_menuRefresh, qOverload<>(&QTimer::start));
    for (const auto signal : {&StatusManager::enginesChanged, &StatusManager::heldChanged})
        connect(m_statusManager.get(), signal, &m_menuRefresh, qOverload<>(&QTimer::start));
    updateMenu();

    // Qt picks StatusNotifierItem or XEmbed once, at its first look: wait for a host to be on the
    // bus first, without blocking the event loop the backups hand their results to.
    const auto create = [this] {
        if (m_statusItem)
            return;
        m_trayHostTimer.stop();
        m_statusItem = std::make_unique<QSystemTrayIcon>();
        m_statusItem->setContextMenu(m_menuBuilder->menu());
        connect(m_statusItem.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            // The icon's place, which most tray hosts keep to themselves, is where it is clicked.
            m_lastIconClick = QCursor::pos();
            qCDebug(lcTray) << "icon activated, reason" << int(reason);
            // An XEmbed tray reports a quick second click as a double click, not as a second trigger.
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                togglePopover();
        });
        m_statusSymbol.clear();
        updateStatusIcon(m_statusManager ? m_statusManager->overallStatus() : BackupStatus::idle());
        m_statusItem->show();
        if (!QSystemTrayIcon::isSystemTrayAvailable()) {
            qCWarning(lcApp).noquote()
                << QStringLiteral("No system tray is available; showing Larkfold's window instead.");
            if (m_popover) {
                m_popover->setStandalone(true);
                m_popover->showUnder(std::nullopt, QCursor::pos());
            }
        }
        emit statusItemReady();
    };
    m_trayHostWatch = std::make_unique<platform::BusNameWatch>(m_environment.sessionBus,
                                                               QString::fromLatin1(kStatusNotifierWatcher));
    connect(m_trayHostWatch.get(), &platform::BusNameWatch::presenceChanged, this, [create](bool present) {
        if (present)
            create();
    });
    m_trayHostTimer.setSingleShot(true);
    connect(&m_trayHostTimer, &QTimer::timeout, this, create);
    if (m_trayHostWatch->isPresent().value_or(false) || isXEmbedTrayPresent())
        QTimer::singleShot(0, this, create);
    else
        m_trayHostTimer.start(m_environment.trayHostWait);
}

bool AppDelegate::isXEmbedTrayPresent() const
{
    if (m_environment.xembedTrayPresent)
        return m_environment.xembedTrayPresent();
    // No panel of the other kind comes to the bus: an XEmbed tray is enough to show the icon at once.
    return QGuiApplication::platformName() == QStringLiteral("xcb") && platform::isXEmbedTrayPresent(qgetenv("DISPLAY"));
}

void AppDelegate::updateStatusIcon(const BackupStatus& status)
{
    if (!m_statusItem || !m_statusManager)
        return;
    m_shownStatusGeneration = m_statusManager->statusGeneration();
    // Set only on a change: every new icon or tooltip is a message to the tray host.
    const QString symbol = statusSymbolName(status);
    if (symbol != m_statusSymbol) {
        m_statusSymbol = symbol;
        m_statusItem->setIcon(statusItemImage(symbol, kStatusItemPoints));
    }
    const QString toolTip = m_statusManager->statusSummary();
    if (toolTip != m_toolTip) {
        m_toolTip = toolTip;
        m_statusItem->setToolTip(toolTip);
    }
}

void AppDelegate::startStatusObservation()
{
    // The icon follows the status within 0.2 s, looking again at most that often, and while
    // nothing changes the timer rests: a resting program wakes for nothing.
    m_statusObservation.setInterval(kStatusObservationInterval);
    connect(&m_statusObservation, &QTimer::timeout, this, [this] {
        if (!m_statusManager || m_statusManager->statusGeneration() == m_shownStatusGeneration) {
            m_statusObservation.stop();
            return;
        }
        updateStatusIcon(m_statusManager->overallStatus());
    });
    m_statusWake = connect(m_statusManager.get(), &StatusManager::statusMayHaveChanged, this, [this] {
        if (m_statusObservation.isActive())
            return;
        updateStatusIcon(m_statusManager->overallStatus());
        m_statusObservation.start();
    });
    updateStatusIcon(m_statusManager->overallStatus());
}

void AppDelegate::stopStatusObservation()
{
    disconnect(m_statusWake);
    m_statusObservation.stop();
}

std::optional<QRect> AppDelegate::statusItemGeometry() const
{
    if (!m_statusItem)
        return std::nullopt;
    const QRect geometry = m_statusItem->geometry();
    if (!geometry.isValid() || geometry.isEmpty())
        return std::nullopt;
    return geometry;
}

void AppDelegate::showMenu()
{
    if (QMenu* statusMenu = menu()) {
        // Opened from the popover's gear, not from the icon: the pointer says nothing of the icon.
        m_menuFromGear = true;
        statusMenu->popup(QCursor::pos());
        m_menuFromGear = false;
    }
}

// --- Popover ---

void AppDelegate::setupPopover()
{
    m_popover = std::make_unique<PopoverHost>();
    const QPointer<AppDelegate> self(this);
    // The gear closes the popover at once and opens the menu once that has happened.
    auto* view = new PopoverView(*m_statusManager, [self] {
        if (!self)
            return;
        self->closePopover();
        QTimer::singleShot(0, self, [self] {
            if (self)
                self->showMenu();
        });
    });
    m_popoverView = view;
    m_popover->setContent(view);
    // The sheet's and the rows' dialogs must not close the popover under them.
    connect(view, &PopoverView::pinnedChanged, m_popover.get(), &PopoverHost::setPinned);
    connect(view, &PopoverView::closeRequested, this, &AppDelegate::closePopover);
}

void AppDelegate::showAddBackup()
{
    showPopover();
    if (m_popoverView)
        m_popoverView->showAddBackup();
}

void AppDelegate::togglePopover()
{
    if (!m_popover)
        return;
    // A click that hides a window does not also open the popover.
    bool hidWindow = false;
    for (const WindowKind kind : {WindowKind::about, WindowKind::welcome, WindowKind::restore}) {
        SingletonWindowController& windows = controller(kind);
        if (windows.isWindowVisible()) {
            windows.window()->hide();
            hidWindow = true;
        }
    }
    if (m_popover->isVisible()) {
        qCDebug(lcTray) << "closing the popover";
        m_popover->close();
        return;
    }
    if (hidWindow || m_popover->closedJustNow()) {
        qCDebug(lcTray) << (hidWindow ? "hid a window" : "the popover closed just now");
        return;
    }
    qCDebug(lcTray) << "opening the popover";
    m_popover->showUnder(statusItemGeometry(), QCursor::pos());
}

void AppDelegate::showPopover()
{
    if (!m_popover)
        return;
    if (m_popover->isVisible()) {
        m_popover->raise();
        return;
    }
    // Not opened by a click on the icon: the pointer may be anywhere, so it opens where the icon is.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QPoint icon = screen ? trayPoint(m_lastIconClick, screen->geometry(), screen->availableGeometry())
                               : m_lastIconClick.value_or(QCursor::pos());
    m_popover->showUnder(statusItemGeometry(), icon);
}

void AppDelegate::closePopover()
{
    if (m_popover && m_popover->isVisible() && !m_popover->isStandalone())
        m_popover->close();
}

// --- Observers and the login item ---

void AppDelegate::observeNotifications()
{
    AppNotifications& notifications = AppNotifications::instance();
    connect(&notifications, &AppNotifications::showRestoreRequested, this, &AppDelegate::showRestore);
    connect(&notifications, &AppNotifications::showRunErrorsRequested, this, &AppDelegate::showRunErrors);
    connect(&notifications, &AppNotifications::showAddBackupRequested, this, &AppDelegate::showAddBackup);
    connect(m_statusManager.get(), &StatusManager::profileSuggested, this, &AppDelegate::showProfileSuggestion);

    if (!m_environment.session)
        m_environment.session = std::make_unique<platform::LogindSessionActivitySource>();
    if (!m_environment.workspace)
        m_environment.workspace = platform::createWorkspaceSource(QGuiApplication::platformName());
    connect(m_environment.screens.get(), &platform::ScreenSleepSource::screensDidSleep, this, &AppDelegate::closePopover);
    connect(m_environment.session.get(), &platform::SessionActivitySource::sessionDidResignActive, this,
            &AppDelegate::closePopover);
    if (m_environment.workspace)
        connect(m_environment.workspace.get(), &platform::WorkspaceSource::activeWorkspaceChanged, this,
                &AppDelegate::closePopover);
}

void AppDelegate::registerLaunchAtLogin()
{
    if (!m_configStore->appConfig().launchAtLogin)
        return;
    if (loginItem().status() == platform::LoginItem::Status::enabled)
        return;
    if (const QString failure = loginItem().registerItem(); !failure.isEmpty())
        qCCritical(lcApp).noquote() << QStringLiteral("Could not register launch-at-login: %1").arg(failure);
}

// --- Windows ---

void AppDelegate::showWindow(const QString& title, const std::function<QWidget*()>& content, WindowKind kind,
                             QSize size, bool anchored)
{
    SingletonWindowController& windows = controller(kind);
    if (windows.isWindowVisible()) {
        windows.window()->raise();
        windows.window()->activateWindow();
        return;
    }
    // An ordinary window, never kept above the others: the file manager it opens must come in front of it.
    auto window = std::make_unique<QWidget>(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window->setWindowTitle(title);
    auto* layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    if (QWidget* view = content())
        layout->addWidget(view);
    // A view that needs more room than the window's size gets it.
    window->setFixedSize(size.expandedTo(window->minimumSizeHint()));

    QScreen* screen = QGuiApplication::primaryScreen();
    const auto anchor = anchored ? statusItemGeometry() : std::nullopt;
    if (anchor) {
        if (QScreen* atIcon = QGuiApplication::screenAt(anchor->center()))
            screen = atIcon;
        window->move(windowOrigin(*anchor, window->size(), screen->availableGeometry()));
    } else if (screen) {
        window->move(screen->availableGeometry().center() - QPoint(window->width() / 2, window->height() / 2));
    }
    window->show();
    window->raise();
    window->activateWindow();
    windows.setWindow(std::move(window));
}

void AppDelegate::showWelcome()
{
    const WindowSpec spec = specOf(WindowKind::welcome);
    showWindow(QString::fromUtf8(spec.title), [this] {
        auto* view = new WelcomeView(*m_statusManager, *m_configStore);
        // Put away, not closed: the finished flow's window is simply no longer shown.
        connect(view, &WelcomeView::completed, this, [this] {
            if (QWidget* window = controller(WindowKind::welcome).window())
                window->hide();
        });
        return view;
    }, WindowKind::welcome, spec.size, false);
}

void AppDelegate::showRestore(const QUuid& pairId, const std::vector<std::string>& tick)
{
    const auto& pairs = m_configStore->pairs();
    const auto found = std::find_if(pairs.begin(), pairs.end(), [&](const BackupPair& p) { return p.id == pairId; });
    if (found == pairs.end())
        return;
    closePopover();
    const BackupPair pair = *found;
    const WindowSpec spec = specOf(WindowKind::restore);
    // The destination's trash is shared by every pair that backs up there.
    QStringList sharers;
    const std::filesystem::path trash = platform::standardized(BackupEngine::trashFolder(pair.destinationURL));
    for (const BackupPair& other : pairs) {
        if (other.id != pair.id && platform::standardized(BackupEngine::trashFolder(other.destinationURL)) == trash)
            sharers.push_back(other.name);
    }
    showWindow(QStringLiteral("Restore — %1").arg(pair.name), [this, pair, sharers] {
        auto* view = new RestoreView(pair);
        view->model().setTrashSharedWith(sharers);
        if (const BackupEngine* engine = m_statusManager->engine(pair.id))
            view->model().followRuns(*engine);
        return view;
    }, WindowKind::restore, spec.size, true);
    if (tick.empty())
        return;
    QWidget* window = controller(WindowKind::restore).window();
    auto* view = window ? window->findChild<RestoreView*>() : nullptr;
    if (view && view->model().pair().id == pairId)
        view->model().preselect(tick);
}

void AppDelegate::showRunErrors(const QUuid& pairId)
{
    const auto pair = storedPair(pairId);
    if (!pair)
        return;
    closePopover();
    BackupEngine* engine = m_statusManager->engine(pairId);
    const WindowSpec spec = specOf(WindowKind::runErrors);
    const QString title = RunErrorsModel(pair->name, {}).title();
    // Another pair's window gives way: the one brought up is always the pair asked for.
    if (QWidget* open = controller(WindowKind::runErrors).window(); open && open->windowTitle() != title)
        open->close();
    showWindow(title, [name = pair->name, engine] { return new RunErrorsView(name, engine); }, WindowKind::runErrors,
               spec.size, true);
}

void AppDelegate::showProfileSuggestion(const QUuid& pairId, const QString& pairName, BackupProfile profile,
                                        qint64 bytes)
{
    closePopover();
    const WindowSpec spec = specOf(WindowKind::profileSuggestion);
    const QPointer<AppDelegate> self(this);
    const auto content = [self, pairId, pairName, profile, bytes]() -> QWidget* {
        const auto accept = [self, pairId, profile] {
            if (!self)
                return;
            self->applyProfileSuggestion(pairId, profile);
            // Also when the pair went in the meantime: the window has done its part.
            if (QWidget* window = self->controller(WindowKind::profileSuggestion).window())
                window->close();
        };
        const auto decline = [self] {
            if (self)
                self->declineProfileSuggestion();
        };
        return new ProfileSuggestionView(profile, pairName, bytes, accept, decline);
    };
    showWindow(QString::fromUtf8(spec.title), content, WindowKind::profileSuggestion, spec.size, true);
}

void AppDelegate::applyProfileSuggestion(const QUuid& pairId, BackupProfile profile)
{
    ProfileSuggestionModel::applySuggestion(*m_configStore, pairId, profile);
}

void AppDelegate::declineProfileSuggestion()
{
    if (QWidget* window = controller(WindowKind::profileSuggestion).window())
        window->close();
}

void AppDelegate::openPromote()
{
    closePopover();
    const WindowSpec spec = specOf(WindowKind::promote);
    // Each opening starts afresh on today's date; only a window still open, or a filing still
    // running (closing its window stops nothing), keeps its model.
    std::unique_ptr<PromoteViewModel> fresh;
    if (!m_promoteModel || !(controller(WindowKind::promote).isWindowVisible() || m_promoteModel->isFiling()))
        fresh = std::make_unique<PromoteViewModel>(QDate::currentDate());
    PromoteViewModel& model = fresh ? *fresh : *m_promoteModel;
    showWindow(QString::fromUtf8(spec.title), [&model] { return new FilingWindow(model); }, WindowKind::promote,
               spec.size, true);
    // The earlier window went when the new one took its place, so its model may go now.
    if (fresh)
        m_promoteModel = std::move(fresh);
}

void AppDelegate::openLearn()
{
    closePopover();
    const WindowSpec spec = specOf(WindowKind::learn);
    showWindow(QString::fromUtf8(spec.title), [] { return new LearnView; }, WindowKind::learn, spec.size, true);
}

void AppDelegate::openAbout()
{
    closePopover();
    const WindowSpec spec = specOf(WindowKind::about);
    showWindow(QString::fromUtf8(spec.title), [] { return new AboutView; }, WindowKind::about, spec.size, true);
}

} // namespace larkfold
