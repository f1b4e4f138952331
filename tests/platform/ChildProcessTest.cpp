#include "platform/ChildProcess.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace larkfold::platform;
using larkfold::test::TempDir;
using namespace std::chrono_literals;

namespace {

// Puts small scripts first on PATH for one test.
class ScriptsOnPath : public ::testing::Test {
protected:
    ScriptsOnPath()
        : m_oldPath(std::getenv("PATH") ? std::getenv("PATH") : "")
    {
        setenv("PATH", (m_dir.path().string() + ":" + m_oldPath).c_str(), 1);
    }
    ~ScriptsOnPath() override { setenv("PATH", m_oldPath.c_str(), 1); }

    void script(const std::string& name, const std::string& body)
    {
        const auto path = m_dir / name;
        larkfold::test::writeFile(path, "#!/bin/sh\n" + body + "\n");
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    }

private:
    TempDir m_dir;
    std::string m_oldPath;
};

} // namespace

TEST_F(ScriptsOnPath, ReadsALongOutputWhileTheChildRunsAndKeepsStandardErrorOut)
{
    // Far more than a pipe holds, on both pipes: a child that is not drained would stall.
    script("chatty", "i=0; while [ $i -lt 40000 ]; do echo \"n/line/$i\"; echo \"warning $i\" >&2; i=$((i+1)); done; "
                     "echo \"$@\"");
    const auto output = runChildProcess(QStringLiteral("chatty"), {QStringLiteral("-p"), QStringLiteral("1,2")}, 20s);
    ASSERT_TRUE(output.has_value());
    EXPECT_EQ(output->count('\n'), 40001);
    EXPECT_TRUE(output->startsWith("n/line/0\n"));
    EXPECT_TRUE(output->endsWith("n/line/39999\n-p 1,2\n"));
    EXPECT_FALSE(output->contains("warning"));
}

TEST_F(ScriptsOnPath, StopsAChildAtTheTimeLimitAndKeepsWhatItWrote)
{
    script("slow", "echo first; exec sleep 60");
    // Ignores the terminate request, so only the kill ends it.
    script("stubborn", "trap '' TERM; echo first; while :; do sleep 1; done");
    for (const char* name : {"slow", "stubborn"}) {
        SCOPED_TRACE(name);
        const auto output = runChildProcess(QString::fromLatin1(name), {}, 200ms);
        ASSERT_TRUE(output.has_value());
        EXPECT_EQ(*output, "first\n");
    }
}

TEST_F(ScriptsOnPath, AMissingProgramGivesNothing)
{
    EXPECT_EQ(runChildProcess(QStringLiteral("larkfold-no-such-tool"), {}, 1s), std::nullopt);
}
