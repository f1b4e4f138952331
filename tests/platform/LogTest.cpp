#include "platform/Log.h"

#include <gtest/gtest.h>

using namespace larkfold::platform;

TEST(Log, ShowsOnlyProblemsOnATerminal)
{
    struct Case {
        QtMsgType type;
        bool journal;
        bool terminal;
        LogRoute expected;
    };
    const Case cases[] = {
        // Started from a shell on a desktop: the journal keeps everything, the shell sees problems.
        {QtInfoMsg, true, true, {true, false}},
        {QtDebugMsg, true, true, {true, false}},
        {QtWarningMsg, true, true, {true, true}},
        {QtCriticalMsg, true, true, {true, true}},
        // Started by the session, whose standard error is often the journal itself: the journal only.
        {QtInfoMsg, true, false, {true, false}},
        {QtWarningMsg, true, false, {true, false}},
        // No journal: a terminal still sees problems only, a log file everything.
        {QtInfoMsg, false, true, {false, false}},
        {QtWarningMsg, false, true, {false, true}},
        {QtCriticalMsg, false, true, {false, true}},
        {QtInfoMsg, false, false, {false, true}},
        {QtWarningMsg, false, false, {false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " journal " << c.journal << " terminal " << c.terminal);
        EXPECT_EQ(logRoute(c.type, c.journal, c.terminal), c.expected);
    }
}
