#include "app/AppDelegate.h"
#include "platform/AppIdentity.h"
#include "platform/AppPaths.h"
#include "platform/GraphicalSession.h"
#include "platform/Log.h"
#include "platform/QuitSignals.h"
#include "platform/SingleInstance.h"

#include <QApplication>

#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace larkfold;

int main(int argc, char** argv)
{
    // Qt's own answer to a missing display is an abort with a page about platform plugins.
    if (!platform::canStartWindows(std::vector<std::string>(argv + 1, argv + argc),
                                   platform::DisplayEnvironment::current())) {
        std::fputs("Larkfold needs a graphical desktop session.\n", stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Larkfold"));
    QApplication::setDesktopFileName(QString::fromLatin1(platform::kApplicationId));
    // A tray application: closing its last window leaves it running.
    QApplication::setQuitOnLastWindowClosed(false);
    platform::installLogHandler();
    // Before anything else, so a quit signal that arrives while the store loads still ends in a save.
    platform::installQuitSignals();

    // Before the store, which may write while it loads: two processes must never share its files.
    platform::SingleInstance instance;
    QString reason;
    if (!instance.acquire(platform::appSupportDirectory() / "larkfold.lock", reason)) {
        if (instance.anotherInstanceIsRunning()) {
            QString unanswered;
            platform::SingleInstance::askRunningInstanceToShowPopover(unanswered);
        }
        std::fprintf(stderr, "larkfold: %s\n", qUtf8Printable(reason));
        return 1;
    }

    auto delegate = std::make_unique<AppDelegate>();
    QObject::connect(&instance, &platform::SingleInstance::showPopoverRequested, delegate.get(),
                     &AppDelegate::showPopover);
    delegate->applicationDidFinishLaunching();

    const int status = app.exec();

    if (!delegate->applicationWillTerminate()) {
        // Backup tasks still run on the engines' parts; the store is saved, so leave at once.
        std::fflush(nullptr);
        ::_exit(0);
    }
    // The coordinator and the windows go before the application object.
    delegate.reset();
    return status;
}
