#pragma once

#include "support/PrivateSessionBus.h"
#include "support/PrivateXServer.h"

#include <gtest/gtest.h>

// For tests linked with larkfold_test_display_main: before the QApplication exists, the main starts
// a private session bus (exported as the process's session bus, for the test's whole run, since
// Qt keeps its session-bus connection for the life of the process) and a private Xvfb, on which
// the application then runs with the xcb platform. Without Xvfb it runs offscreen.
namespace larkfold::test {

// The private X server the application runs on; null when Xvfb is missing.
const PrivateXServer* testXServer();
// The process's session bus.
const PrivateSessionBus& testSessionBus();

} // namespace larkfold::test

// Skips the current test when the application does not run on a private X server.
#define LARKFOLD_REQUIRE_X_SERVER()                                                                          \
    do {                                                                                                     \
        if (!larkfold::test::testXServer())                                                                  \
            GTEST_SKIP() << "Xvfb is not installed";                                                         \
    } while (false)
