#include "platform/Json.h"
#include "store/AppConfig.h"
#include "store/BackupPair.h"
#include "support/EventLoop.h"
#include "support/TempTree.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;

namespace {

class LarkfoldExecutableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* binaryDir = std::getenv("LARKFOLD_BINARY_DIR");
        ASSERT_TRUE(binaryDir);
        m_program = QString::fromUtf8(binaryDir) + QStringLiteral("/src/app/larkfold");
        ASSERT_TRUE(fs::exists(m_program.toStdString()));
        fs::create_directories(m_home / "runtime");
        fs::permissions(m_home / "runtime", fs::perms::owner_all);
    }

    std::unique_ptr<QProcess> start() const
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString home = QString::fromStdString(m_home.path().string());
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        process->setProcessEnvironment(env);
        process->start(m_program, {});
        process->waitForStarted(5000);
        return process;
    }

    fs::path dataDir() const { return m_home / ".local/share/Larkfold"; }

    // The first instance holds the lock once our own non-blocking attempt fails.
    bool waitUntilLocked() const
    {
        return spinUntil(
            [&] {
                const int fd = ::open((dataDir() / "larkfold.lock").c_str(), O_RDONLY | O_CLOEXEC);
                if (fd < 0)
                    return false;
                const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
                ::close(fd);
                return held;
            },
            10000);
    }

    TempDir m_home;
    QString m_program;
};

} // namespace

TEST_F(LarkfoldExecutableTest, SecondInstanceSaysSoAndExits)
{
    auto first = start();
    ASSERT_TRUE(waitUntilLocked());

    auto second = start();
    ASSERT_TRUE(second->waitForFinished(10000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_NE(second->exitCode(), 0);
    const QString errors = QString::fromUtf8(second->readAllStandardError());
    EXPECT_EQ(errors.count(QLatin1Char('\n')), 1) << errors.toStdString();
    EXPECT_TRUE(errors.endsWith(QLatin1Char('\n'))) << errors.toStdString();
    EXPECT_EQ(first->state(), QProcess::Running);

    first->terminate();
    ASSERT_TRUE(first->waitForFinished(10000));
}

TEST_F(LarkfoldExecutableTest, QuitSignalsSaveTheConfiguration)
{
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        fs::remove(dataDir() / "config.json");
        auto process = start();
        ASSERT_TRUE(waitUntilLocked());
        EXPECT_FALSE(fs::exists(dataDir() / "config.json")); // first launch writes nothing while running
        ::kill(pid_t(process->processId()), sig);
        ASSERT_TRUE(process->waitForFinished(10000));
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process->exitCode(), 0);
        const std::string config = readFile(dataDir() / "config.json");
        ASSERT_FALSE(config.empty());
        const platform::Json file = platform::parseJson(config);
        EXPECT_TRUE(file.contains("appConfig"));
        EXPECT_TRUE(file["pairs"].is_array());
        EXPECT_EQ(readFile(dataDir() / "backup-log.json"), "[]");
    }
}

TEST_F(LarkfoldExecutableTest, NestedPairFoldersAreRepairedAtLaunch)
{
    const auto makePair = [&](const char* name, const fs::path& destination) {
        BackupPair pair;
        pair.id = QUuid::createUuid();
        pair.name = QString::fromUtf8(name);
        pair.sourceURL = m_home / "Source";
        pair.destinationURL = destination;
        pair.createdAt = QDateTime::fromSecsSinceEpoch(1772357400, QTimeZone::utc());
        return pair;
    };
    const fs::path drive = m_home / "Drive/Larkfold";
    const fs::path other = m_home / "Other/Larkfold";
    const auto put = [](const fs::path& path, const std::string& content) {
        fs::create_directories(path.parent_path());
        writeFile(path, content);
    };
    put(drive / "Larkfold/Photos/a.jpg", "A");
    put(drive / "Larkfold/Photos/b.jpg", "nested");
    put(drive / "Photos/b.jpg", "current");
    // A name that would make the inner folder itself the nested one.
    put(other / "Larkfold/Music/m.flac", "M");
    const std::vector<BackupPair> pairs{makePair("Photos", drive), makePair(".", other)};
    put(dataDir() / "config.json",
        platform::encodeJsonPretty(platform::Json{{"appConfig", AppConfig().toJson()},
                                                  {"pairs", {pairs[0].toJson(), pairs[1].toJson()}}}));

    auto process = start();
    EXPECT_TRUE(spinUntil([&] { return fs::exists(drive / "Photos/a.jpg"); }, 10000));
    process->terminate();
    ASSERT_TRUE(process->waitForFinished(10000));

    EXPECT_EQ(readFile(drive / "Photos/a.jpg"), "A");
    EXPECT_EQ(readFile(drive / "Photos/b.jpg"), "current");
    EXPECT_EQ(readFile(drive / "Larkfold/Photos/b.jpg"), "nested");
    EXPECT_FALSE(fs::exists(drive / "Larkfold/Photos/a.jpg"));
    EXPECT_EQ(readFile(other / "Larkfold/Music/m.flac"), "M");
    EXPECT_FALSE(fs::exists(other / "Music"));
    const platform::Json saved = platform::parseJson(readFile(dataDir() / "config.json"));
    ASSERT_EQ(saved["pairs"].size(), 2u);
    EXPECT_EQ(BackupPair::fromJson(saved["pairs"][0]), pairs[0]);
    EXPECT_EQ(BackupPair::fromJson(saved["pairs"][1]), pairs[1]);
}
