#include "engine/NestingMigration.h"
#include "platform/AppPaths.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/QuitSignals.h"
#include "platform/SingleInstance.h"
#include "store/ConfigStore.h"

#include <QCoreApplication>

#include <cstdio>

using namespace larkfold;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    platform::installLogHandler();
    // Before anything else, so a quit signal that arrives while the store loads still ends in a save.
    platform::installQuitSignals();

    // Before the store, which may write while it loads: two processes must never share its files.
    platform::SingleInstance instance;
    QString reason;
    if (!instance.acquire(platform::appSupportDirectory() / "larkfold.lock", reason)) {
        std::fprintf(stderr, "larkfold: %s\n", qUtf8Printable(reason));
        return 1;
    }

    ConfigStore store;
    // Before any backup can start, so none looks for a pair folder that is still one level too deep.
    runNestingMigration(store);

    const int status = app.exec();

    platform::beginQuitting();
    store.save();
    return status;
}
