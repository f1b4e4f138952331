#include "DelegateFixture.h"

#include "store/ConfigStore.h"
#include "support/EventLoop.h"
#include "support/FakeStatusNotifierWatcher.h"
#include "support/TestDisplay.h"

#include <gtest/gtest.h>

namespace larkfold::test {
namespace {

// A panel for the whole process: Qt looks for one once, at the first tray icon.
void ensurePanel()
{
    static FakeStatusNotifierWatcher watcher(testSessionBus().address());
}

} // namespace

Delegate::Delegate(const std::filesystem::path& appSupport, bool onboarded,
                   const std::function<void(AppDelegate::Environment&)>& adjust)
{
    ensurePanel();
    if (onboarded) {
        ConfigStore seed(appSupport);
        AppConfig config = seed.appConfig();
        config.hasCompletedOnboarding = true;
        seed.setAppConfig(config);
        seed.save();
    }
    AppDelegate::Environment environment;
    environment.appSupportFolder = appSupport;
    environment.coordinator.engine.volumes = &volumes;
    auto fakeNotifier = std::make_unique<platform::FakeNotifier>();
    notifier = fakeNotifier.get();
    environment.coordinator.notifier = std::move(fakeNotifier);
    auto login = std::make_unique<platform::FakeLoginItem>();
    loginItem = login.get();
    environment.loginItem = std::move(login);
    environment.screens = std::make_unique<platform::FakeScreenSleepSource>();
    environment.session = std::make_unique<platform::FakeSessionActivitySource>();
    environment.workspace = std::make_unique<platform::FakeWorkspaceSource>();
    auto answers = std::make_unique<FakeMenuPrompts>();
    prompts = answers.get();
    environment.prompts = std::move(answers);
    screens = static_cast<platform::FakeScreenSleepSource*>(environment.screens.get());
    session = static_cast<platform::FakeSessionActivitySource*>(environment.session.get());
    workspace = static_cast<platform::FakeWorkspaceSource*>(environment.workspace.get());
    if (adjust) {
        const platform::LoginItem* before = environment.loginItem.get();
        adjust(environment);
        if (environment.loginItem.get() != before)
            loginItem = nullptr;
    }
    app = std::make_unique<AppDelegate>(std::move(environment));
    app->applicationDidFinishLaunching();
    EXPECT_TRUE(spinUntil([&] { return app->statusItem() != nullptr; }));
}

Delegate::~Delegate()
{
    app->applicationWillTerminate();
}

} // namespace larkfold::test
