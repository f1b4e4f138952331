#pragma once

#include "app/AppDelegate.h"
#include "FakeMenuPrompts.h"
#include "platform/FakeNotifier.h"
#include "platform/FakeVolumeInfo.h"
#include "platform/LoginItem.h"

#include <filesystem>
#include <functional>
#include <memory>

namespace larkfold::test {

// The application delegate in this process, launched on a store in `appSupport`, with a stand-in
// panel on the private bus, fake desktop sources, a fake login item and the menu's prompts
// answered by the test. `adjust` may change the environment before the launch.
struct Delegate {
    explicit Delegate(const std::filesystem::path& appSupport, bool onboarded = true,
                      const std::function<void(AppDelegate::Environment&)>& adjust = {});
    ~Delegate();

    platform::FakeVolumeInfo volumes;
    platform::FakeNotifier* notifier = nullptr;
    platform::FakeLoginItem* loginItem = nullptr; // null when `adjust` put in another one
    platform::FakeScreenSleepSource* screens = nullptr;
    platform::FakeSessionActivitySource* session = nullptr;
    platform::FakeWorkspaceSource* workspace = nullptr;
    FakeMenuPrompts* prompts = nullptr;
    std::unique_ptr<AppDelegate> app;
};

} // namespace larkfold::test
