// The application delegate in this process, on the private X server: its windows, its popover
// and what it does with the application's requests. Screenshots of each go to the build folder.

#include "DelegateFixture.h"
#include "app/AppDelegate.h"
#include "app/StatusItemImage.h"
#include "app/WindowPlacement.h"
#include "filing/FilingWindow.h"
#include "filing/PromoteViewModel.h"
#include "platform/FakeNotifier.h"
#include "platform/FakeVolumeInfo.h"
#include "platform/LoginItem.h"
#include "setup/AddBackupView.h"
#include "shell/AppNotifications.h"
#include "status/RestoreView.h"
#include "status/RunErrorsView.h"
#include "store/ConfigStore.h"
#include "support/EventLoop.h"
#include "support/PairRecord.h"
#include "support/PrivateSessionBus.h"
#include "support/Screenshot.h"
#include "support/TempTree.h"
#include "support/TestDisplay.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;
using Kind = AppDelegate::WindowKind;

namespace {

int topLevelWindowsTitled(const QString& title)
{
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += widget->isVisible() && widget->windowTitle() == title;
    return count;
}

xcb_atom_t atomNamed(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// Whether the window asks the window manager to keep it above all others, as the X server holds it.
bool keptAbove(QWidget& window)
{
    if (window.windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        return true;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return false;
    xcb_connection_t* connection = x11->connection();
    const xcb_atom_t above = atomNamed(connection, "_NET_WM_STATE_ABOVE");
    xcb_get_property_reply_t* state = xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, xcb_window_t(window.winId()), atomNamed(connection, "_NET_WM_STATE"),
                         XCB_ATOM_ATOM, 0, 32),
        nullptr);
    bool found = false;
    if (state && state->format == 32) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(state));
        for (int i = 0; i < xcb_get_property_value_length(state) / 4; ++i)
            found = found || atoms[i] == above;
    }
    std::free(state);
    return found;
}

} // namespace

TEST(WindowPlacement, WindowsGoUnderTheAnchorAndStayOnTheScreen)
{
    const QRect screen(0, 0, 1280, 800);
    const QSize size(400, 520);
    struct Case {
        const char* name;
        QRect anchor;
        QPoint origin;
    };
    const Case cases[] = {
        {"centred under", QRect(600, 0, 24, 24), QPoint(412, 24)},
        {"moved left to fit", QRect(1250, 0, 24, 24), QPoint(880, 24)},
        {"never past the left edge", QRect(-30, 0, 24, 24), QPoint(0, 24)},
        {"moved up from the bottom", QRect(600, 700, 24, 24), QPoint(412, 280)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(windowOrigin(c.anchor, size, screen), c.origin);
    }
    EXPECT_EQ(windowOrigin(QRect(600, 0, 24, 24), QSize(1400, 300), screen).x(), 0) << "wider than the screen";

    // The popover: under the icon, or near the cursor when the icon's place is unknown, and
    // above a panel at the bottom of the screen.
    const QSize popover(300, 360);
    EXPECT_EQ(popoverOrigin(QRect(1200, 0, 24, 24), {}, popover, screen), QPoint(980, 24));
    EXPECT_EQ(popoverOrigin(std::nullopt, QPoint(640, 10), popover, screen), QPoint(490, 11));
    EXPECT_EQ(popoverOrigin(QRect(1200, 776, 24, 24), {}, popover, screen), QPoint(980, 416));

    // Opened without a click on the icon: where the icon was last clicked, else at the right end of
    // the edge a panel holds.
    struct Tray {
        const char* name;
        std::optional<QPoint> lastClick;
        QRect available;
        QPoint point;
    };
    const Tray trays[] = {
        {"clicked before", QPoint(1100, 12), QRect(0, 24, 1280, 776), QPoint(1100, 12)},
        {"a panel at the top", std::nullopt, QRect(0, 24, 1280, 776), QPoint(1279, 23)},
        {"a panel at the bottom", std::nullopt, QRect(0, 0, 1280, 770), QPoint(1279, 770)},
        {"no panel known", std::nullopt, screen, QPoint(1279, 0)},
    };
    for (const Tray& t : trays) {
        SCOPED_TRACE(t.name);
        EXPECT_EQ(trayPoint(t.lastClick, screen, t.available), t.point);
    }
    EXPECT_EQ(popoverOrigin(std::nullopt, trayPoint(std::nullopt, screen, QRect(0, 0, 1280, 770)), popover,
                            QRect(0, 0, 1280, 770)),
              QPoint(980, 410))
        << "above the bottom panel";
}

TEST(StatusItemImage, EachStatusHasItsSymbolAndEverySymbolAnImage)
{
    const std::pair<BackupStatus, const char*> cases[] = {
        {BackupStatus::syncing(0.5, "a"), "arrow.triangle.2.circlepath"},
        {BackupStatus::scanning(), "arrow.triangle.2.circlepath"},
        {BackupStatus::queued(), "arrow.triangle.2.circlepath"},
        {BackupStatus::completed(3, 1), "externaldrive.badge.checkmark"},
        {BackupStatus::idle(), "externaldrive.badge.checkmark"},
        {BackupStatus::error(BackupError::timedOut()), "externaldrive.badge.exclamationmark"},
        {BackupStatus::destinationUnreachable(), "externaldrive.trianglebadge.exclamationmark"},
        {BackupStatus::paused(), "externaldrive.badge.minus"},
    };
    for (const auto& [status, symbol] : cases) {
        SCOPED_TRACE(symbol);
        EXPECT_EQ(statusSymbolName(status), QString::fromLatin1(symbol));
        const QImage image = statusItemImage(QString::fromLatin1(symbol)).pixmap(18, 18).toImage();
        EXPECT_NE(image.pixelColor(9, 14).alpha(), 0) << "the drive is drawn";
    }
    // An unknown name falls back to the plain drive.
    EXPECT_EQ(statusItemImage(QStringLiteral("no.such.symbol")).pixmap(18).toImage(),
              statusItemImage(QStringLiteral("externaldrive")).pixmap(18).toImage());
}

// Each kind of window exists once: a second request brings the first to the front.
TEST(AppDelegate, EachKindOfWindowOpensOnceWithItsTitle)
{
    TempDir support;
    TempTree tree{{"docs/a.txt", "a"}, {"dest/", ""}};
    {
        ConfigStore seed(support.path());
        seed.addPair(pairRecord(QStringLiteral("Documents"), tree.path("docs"), tree.path("dest")));
    }
    Delegate d(support.path());
    AppDelegate& app = *d.app;
    const QUuid pairId = app.configStore()->pairs().front().id;

    app.openLearn();
    app.openLearn();
    EXPECT_EQ(topLevelWindowsTitled(QStringLiteral("How Larkfold Works")), 1);
    app.openAbout();
    app.openPromote();
    app.showWelcome();
    AppNotifications::instance().postShowRestore(QUuid::createUuid()); // no such pair: nothing opens
    EXPECT_EQ(app.controller(Kind::restore).window(), nullptr);
    AppNotifications::instance().postShowRestore(pairId);
    AppNotifications::instance().postShowRestore(pairId);
    EXPECT_EQ(topLevelWindowsTitled(QStringLiteral("Restore — Documents")), 1);
    app.showProfileSuggestion(pairId, QStringLiteral("Documents"), BackupProfile::photography, 1000);

    const std::pair<Kind, const char*> windows[] = {
        {Kind::learn, "How Larkfold Works"}, {Kind::about, "About Larkfold"},
        {Kind::promote, "File a Finished Project"}, {Kind::welcome, "Welcome to Larkfold"},
        {Kind::restore, "Restore — Documents"}, {Kind::profileSuggestion, "Smart setup"},
    };
    for (const auto& [kind, title] : windows) {
        SCOPED_TRACE(title);
        QWidget* window = app.controller(kind).window();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->windowTitle(), QString::fromUtf8(title));
        // The file manager a window opens must be able to come in front of it.
        EXPECT_FALSE(keptAbove(*window));
        saveScreenshot(*window, QStringLiteral("app-window-") + QString::fromUtf8(title).section(QLatin1Char(' '), 0, 0).toLower());
    }

    // A closed window is opened afresh on the next request.
    QWidget* about = app.controller(Kind::about).window();
    about->close();
    app.openAbout();
    EXPECT_TRUE(app.controller(Kind::about).window()->isVisible());
}

// Each opening of the filing window starts afresh, on the day it is opened: nothing of the last
// project or outcome, and the proposed year is this year.
TEST(AppDelegate, TheFilingWindowStartsAfreshAtEachOpening)
{
    TempDir support;
    TempTree tree{{"Spot FW24/6 Finals/final.mp4", "f"}};
    Delegate d(support.path());
    AppDelegate& app = *d.app;
    const auto filing = [&]() -> PromoteViewModel& {
        return app.controller(Kind::promote).window()->findChild<FilingWindow*>()->model();
    };

    app.openPromote();
    filing().choose(tree.path("Spot FW24"));
    ASSERT_EQ(filing().step(), PromoteViewModel::Step::review);
    ASSERT_EQ(filing().year(), 2024);
    app.openPromote(); // still open: brought to the front as it is
    EXPECT_EQ(filing().step(), PromoteViewModel::Step::review);

    app.controller(Kind::promote).window()->close();
    app.openPromote();
    EXPECT_EQ(filing().step(), PromoteViewModel::Step::choose);
    EXPECT_FALSE(filing().project() || filing().outcome());
    EXPECT_EQ(filing().today(), QDate::currentDate());
    EXPECT_EQ(filing().year(), QDate::currentDate().year());
}

// A click toggles the popover; a click that hides an open window only hides it; the screens
// sleeping, the session ending and another desktop close the popover.
TEST(AppDelegate, ThePopoverTogglesAndClosesWithTheDesktop)
{
    TempDir support;
    Delegate d(support.path());
    AppDelegate& app = *d.app;
    LARKFOLD_REQUIRE_X_SERVER();
    ASSERT_NE(app.popover(), nullptr);
    ASSERT_FALSE(app.popover()->isStandalone());

    app.openAbout();
    app.togglePopover();
    EXPECT_FALSE(app.controller(Kind::about).isWindowVisible());
    EXPECT_FALSE(app.popover()->isVisible());
    app.togglePopover();
    ASSERT_TRUE(spinUntil([&] { return app.popover()->isVisible(); }));
    saveScreenshot(*app.popover(), QStringLiteral("app-popover"));
    // Clicks on the icon; a quick second one arrives as a double click and still toggles.
    ASSERT_NE(app.statusItem(), nullptr);
    emit app.statusItem()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(spinUntil([&] { return !app.popover()->isVisible(); }));
    // Past the guard that keeps the click which closed it from opening it again.
    ASSERT_TRUE(spinUntil([&] { return !app.popover()->closedJustNow(); }));
    emit app.statusItem()->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(spinUntil([&] { return app.popover()->isVisible(); }));

    for (const auto& close : std::vector<std::function<void()>>{
             [&] { d.screens->simulateSleep(); }, [&] { d.session->simulateResignActive(); },
             [&] { d.workspace->simulateSwitch(); }}) {
        app.showPopover();
        ASSERT_TRUE(app.popover()->isVisible());
        close();
        EXPECT_TRUE(spinUntil([&] { return !app.popover()->isVisible(); }));
    }
    // The menu's "Add Folder…" asks for the popover.
    AppNotifications::instance().postShowAddBackup();
    EXPECT_TRUE(app.popover()->isVisible());
}

// Opened by "Add Folder…" or a second start, the popover comes where a click on the icon opens
// it, wherever the pointer is then.
TEST(AppDelegate, WithoutAClickThePopoverOpensWhereTheIconIs)
{
    TempDir support;
    Delegate d(support.path());
    AppDelegate& app = *d.app;
    LARKFOLD_REQUIRE_X_SERVER();
    QCursor::setPos(1200, 10); // on the icon of a panel along the top
    ASSERT_TRUE(spinUntil([] { return QCursor::pos() == QPoint(1200, 10); }));
    emit app.statusItem()->activated(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(spinUntil([&] { return app.popover()->isVisible(); }));
    const QPoint clicked = app.popover()->pos();
    app.closePopover();
    ASSERT_TRUE(spinUntil([&] { return !app.popover()->isVisible(); }));

    QCursor::setPos(640, 400);
    ASSERT_TRUE(spinUntil([] { return QCursor::pos() == QPoint(640, 400); }));
    for (const auto& open : std::vector<std::function<void()>>{
             [&] { AppNotifications::instance().postShowAddBackup(); }, [&] { app.showPopover(); }}) {
        open();
        ASSERT_TRUE(spinUntil([&] { return app.popover()->isVisible(); }));
        EXPECT_EQ(app.popover()->pos(), clicked);
        if (app.popoverView()->isShowingAddBackup())
            app.popoverView()->addBackupView()->model().goBack();
        app.closePopover();
        ASSERT_TRUE(spinUntil([&] { return !app.popover()->isVisible(); }));
    }
}

TEST(AppDelegate, TheLoginItemIsRegisteredOnlyWhenAskedAndMissing)
{
    TempDir support;
    {
        Delegate d(support.path());
        EXPECT_EQ(d.loginItem->registerCount(), 1);
        EXPECT_EQ(d.loginItem->status(), platform::LoginItem::Status::enabled);
        d.app->registerLaunchAtLogin();
        EXPECT_EQ(d.loginItem->registerCount(), 1) << "already enabled";
    }
    ConfigStore store(support.path());
    AppConfig config = store.appConfig();
    config.launchAtLogin = false;
    store.setAppConfig(config);
    store.save();
    Delegate d(support.path(), false);
    EXPECT_EQ(d.loginItem->registerCount(), 0);
    EXPECT_EQ(d.loginItem->unregisterCount(), 0) << "an existing entry is left alone";
}

// The suggestion window from the coordinator's signal: its buttons close it, and only the
// primary one changes the pair; a second suggestion while it is open only raises it.
TEST(AppDelegate, TheSuggestionWindowAcceptsOrDeclinesAndCloses)
{
    TempDir support;
    TempTree tree{{"edits/a.mov", "a"}, {"dest/", ""}};
    {
        ConfigStore seed(support.path());
        seed.addPair(pairRecord(QStringLiteral("Edits"), tree.path("edits"), tree.path("dest")));
    }
    Delegate d(support.path());
    AppDelegate& app = *d.app;
    const QUuid id = app.configStore()->pairs().front().id;
    const auto window = [&] { return app.controller(Kind::profileSuggestion).window(); };
    const auto press = [&](const char* button) {
        QWidget* target = window()->findChild<QWidget*>(QString::fromLatin1(button));
        ASSERT_NE(target, nullptr);
        static_cast<QAbstractButton*>(target)->click();
    };
    const std::string before = readFile(app.configStore()->configFileURL());

    emit app.statusManager()->profileSuggested(id, QStringLiteral("Edits"), BackupProfile::film, 48'200'000'000);
    ASSERT_NE(window(), nullptr);
    EXPECT_TRUE(window()->isVisible());
    QWidget* first = window();
    emit app.statusManager()->profileSuggested(id, QStringLiteral("Edits"), BackupProfile::music, 1);
    EXPECT_EQ(window(), first) << "the open card keeps the first suggestion";
    EXPECT_EQ(topLevelWindowsTitled(QStringLiteral("Smart setup")), 1);

    press("declineButton");
    EXPECT_FALSE(window()->isVisible());
    EXPECT_EQ(readFile(app.configStore()->configFileURL()), before);

    emit app.statusManager()->profileSuggested(id, QStringLiteral("Edits"), BackupProfile::film, 48'200'000'000);
    ASSERT_TRUE(window()->isVisible());
    press("acceptButton");
    EXPECT_FALSE(window()->isVisible());
    ConfigStore reread(support.path());
    EXPECT_EQ(reread.pairs().front().profile, BackupProfile::film);
    EXPECT_TRUE(reread.pairs().front().didSuggestProfile);

    // A pair removed in the meantime: nothing changes, the window still closes.
    app.showProfileSuggestion(QUuid::createUuid(), QStringLiteral("Gone"), BackupProfile::developer, 0);
    const std::string accepted = readFile(app.configStore()->configFileURL());
    press("acceptButton");
    EXPECT_FALSE(window()->isVisible());
    EXPECT_EQ(readFile(app.configStore()->configFileURL()), accepted);
}

// "Add Folder…" opens the popover on its sheet; the popover stays open under the sheet's own
// dialogs; the gear closes it and opens the menu.
TEST(AppDelegate, ThePopoverHostsTheSheetAndTheGearOpensTheMenu)
{
    TempDir support;
    Delegate d(support.path());
    AppDelegate& app = *d.app;
    ASSERT_NE(app.popoverView(), nullptr);
    EXPECT_EQ(app.popover()->content(), app.popoverView());

    AppNotifications::instance().postShowAddBackup();
    ASSERT_TRUE(spinUntil([&] { return app.popover()->isVisible(); }));
    ASSERT_TRUE(app.popoverView()->isShowingAddBackup());
    EXPECT_TRUE(app.popover()->isPinned());
    saveScreenshot(*app.popover(), QStringLiteral("app-popover-add-backup"));
    app.popoverView()->addBackupView()->model().goBack(); // cancels on the first step
    QCoreApplication::processEvents();
    EXPECT_FALSE(app.popoverView()->isShowingAddBackup());
    EXPECT_FALSE(app.popover()->isPinned());
    EXPECT_TRUE(app.popover()->isVisible());

    auto* gear = app.popoverView()->findChild<QAbstractButton*>(QStringLiteral("gearButton"));
    ASSERT_NE(gear, nullptr);
    gear->click();
    EXPECT_FALSE(app.popover()->isVisible()) << "closed at once";
    EXPECT_TRUE(spinUntil([&] { return app.menu()->isVisible(); }));
    app.menu()->hide();
}

// With no StatusNotifierItem panel on the bus but an XEmbed tray on the screen, the icon docks
// there at once instead of after the wait for a panel.
// A resting program wakes for nothing: the icon's look rests while the status stays, and a
// change is on the icon at once.
TEST(AppDelegate, TheIconFollowsTheStatusAndRestsWhileItStays)
{
    TempDir support;
    TempTree tree{{"docs/a.txt", "a"}, {"dest/", ""}};
    Delegate d(support.path());
    AppDelegate& app = *d.app;
    ASSERT_TRUE(spinUntil([&] { return app.statusItem() != nullptr; }, 20'000));
    EXPECT_TRUE(spinUntil([&] { return !app.isObservingStatus(); }, 20'000));
    const QString resting = app.statusSymbol();

    app.statusManager()->addPair(pairRecord(QStringLiteral("Documents"), tree.path("docs"), tree.path("dest"), false));
    EXPECT_TRUE(spinUntil([&] { return app.statusSymbol() == statusSymbolName(BackupStatus::paused()); }, 20'000));
    EXPECT_NE(app.statusSymbol(), resting);
    EXPECT_TRUE(spinUntil([&] { return !app.isObservingStatus(); }, 20'000));

    BackupEngine* engine = app.statusManager()->engine(app.configStore()->pairs().front().id);
    ASSERT_NE(engine, nullptr);
    engine->setStatus(BackupStatus::scanning());
    EXPECT_EQ(app.statusSymbol(), statusSymbolName(BackupStatus::scanning()));
}

TEST(AppDelegate, AnXEmbedTrayGetsTheIconAtOnce)
{
    PrivateSessionBus quiet;
    ASSERT_TRUE(quiet.isRunning());
    for (const bool tray : {false, true}) {
        SCOPED_TRACE(tray ? "an XEmbed tray" : "no tray at all");
        TempDir support;
        AppDelegate::Environment environment;
        environment.appSupportFolder = support.path();
        environment.sessionBus = quiet.connection(QStringLiteral("app"));
        environment.trayHostWait = std::chrono::minutes(10);
        environment.xembedTrayPresent = [tray] { return tray; };
        environment.loginItem = std::make_unique<platform::FakeLoginItem>();
        environment.screens = std::make_unique<platform::FakeScreenSleepSource>();
        environment.session = std::make_unique<platform::FakeSessionActivitySource>();
        environment.workspace = std::make_unique<platform::FakeWorkspaceSource>();
        environment.coordinator.notifier = std::make_unique<platform::FakeNotifier>();
        AppDelegate app(std::move(environment));
        app.applicationDidFinishLaunching();
        if (tray)
            EXPECT_TRUE(spinUntil([&] { return app.statusItem() != nullptr; }, 20'000));
        else
            EXPECT_EQ(app.statusItem(), nullptr) << "it waits for a panel to come";
        app.applicationWillTerminate();
    }
}

// The pair row's "Restore Them…" and "Show Details…" bring up their windows on that pair.
TEST(AppDelegate, TheRowsRequestsOpenTheRestoreWindowTickedAndTheFailuresWindow)
{
    TempDir support;
    TempTree tree{{"docs/a.txt", "a"}, {"dest/Larkfold/Documents/a.txt", "a"}, {"dest/Larkfold/Documents/b.txt", "b"}};
    {
        ConfigStore seed(support.path());
        seed.addPair(pairRecord(QStringLiteral("Documents"), tree.path("docs"), tree.path("dest")));
    }
    Delegate d(support.path());
    AppDelegate& app = *d.app;
    const QUuid pairId = app.configStore()->pairs().front().id;

    AppNotifications::instance().postShowRestore(pairId, {"b.txt"});
    QWidget* window = app.controller(Kind::restore).window();
    ASSERT_NE(window, nullptr);
    auto* restore = window->findChild<RestoreView*>();
    ASSERT_NE(restore, nullptr);
    ASSERT_TRUE(spinUntil([&] { return restore->model().selectedCount() == 1; }, 20'000));
    EXPECT_EQ(restore->model().selectedItems().front().relativePath, "b.txt");

    AppNotifications::instance().postShowRunErrors(pairId);
    QWidget* failures = app.controller(Kind::runErrors).window();
    ASSERT_NE(failures, nullptr);
    EXPECT_TRUE(failures->isVisible());
    EXPECT_EQ(failures->windowTitle(), QStringLiteral("Backup Problems — Documents"));
    EXPECT_NE(failures->findChild<RunErrorsView*>(), nullptr);
}
