// Update checks against an appcast served from this process on 127.0.0.1: what the user is told
// for each answer of the server, the automatic daily check, and how versions and feeds are read.

#include "FakeAppcastServer.h"
#include "FakeMenuPrompts.h"
#include "app/Appcast.h"
#include "app/UpdateController.h"
#include "platform/UserDefaults.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace larkfold;
using namespace larkfold::test;

namespace {

constexpr int kCheckTimeoutMs = 30000;

QByteArray appcast(const QList<std::pair<QByteArray, QByteArray>>& items)
{
    QByteArray feed = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:lf="https://larkfold.io/xml-namespaces/appcast"><channel><title>Larkfold</title>
)";
    for (const auto& [version, notes] : items) {
        feed += "<item><title>Larkfold " + version + "</title><lf:version>" + version + "</lf:version>";
        if (!notes.isEmpty())
            feed += "<lf:releaseNotesLink>" + notes + "</lf:releaseNotesLink>";
        feed += "</item>\n";
    }
    return feed + "</channel></rss>\n";
}

class UpdateControllerTest : public ::testing::Test {
protected:
    UpdateControllerTest() { platform::setUserDefaults(&defaults); }
    ~UpdateControllerTest() override { platform::setUserDefaults(nullptr); }

    UpdateController::Options options(std::chrono::milliseconds interval = std::chrono::hours(24)) const
    {
        UpdateController::Options o;
        o.currentVersion = QStringLiteral("1.4.0");
        o.checkInterval = interval;
        return o;
    }

    // Runs the user's check and returns what the user was told.
    std::optional<MenuAlert> check(UpdateController& controller)
    {
        QSignalSpy finished(&controller, &UpdateController::checkFinished);
        const std::size_t before = prompts.alerts.size();
        controller.checkForUpdates();
        if (!finished.wait(kCheckTimeoutMs) || prompts.alerts.size() != before + 1)
            return std::nullopt;
        return prompts.alerts.back();
    }

    platform::MemoryUserDefaults defaults;
    FakeMenuPrompts prompts;
    FakeAppcastServer server;
};

} // namespace

TEST(Appcast, VersionsCompareByTheirNumbers)
{
    struct Case {
        const char* a;
        const char* b;
        int order;
    };
    const Case cases[] = {
        {"1.10", "1.9", 1}, {"2", "2.0.0", 0},     {"1.2.3", "1.2.4", -1}, {"1.2-beta", "1.2", -1},
        {"1.2-beta", "1.2-rc", -1}, {"10.0", "9.9.9", 1}, {" 1.0 ", "1.0", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        const int order = compareVersions(QString::fromLatin1(c.a), QString::fromLatin1(c.b));
        EXPECT_EQ((order > 0) - (order < 0), c.order);
        const int reverse = compareVersions(QString::fromLatin1(c.b), QString::fromLatin1(c.a));
        EXPECT_EQ((reverse > 0) - (reverse < 0), -c.order);
    }
    EXPECT_FALSE(isVersion(QStringLiteral("beta")));
    EXPECT_FALSE(isVersion(QString()));
}

// The newest item wins wherever it stands; its version may be an element or an enclosure's
// attribute; only a web page becomes its release notes.
TEST(Appcast, TheNewestItemWithItsNotes)
{
    const QByteArray feed = R"xml(<rss version="2.0" xmlns:s="urn:x"><channel>
<item><title>Old</title><s:version>1.9</s:version><link>https://larkfold.io/1.9</link></item>
<item><title>New</title><enclosure url="https://larkfold.io/2.tar" s:version="2.0.1" s:shortVersionString="2.0 (Spring)"/>
  <s:releaseNotesLink>https://larkfold.io/notes/2.0.1</s:releaseNotesLink><link>https://larkfold.io/2</link></item>
<item><title>No version</title></item>
<item><title>Middle</title><s:version>2.0</s:version><s:releaseNotesLink>file:///etc/passwd</s:releaseNotesLink></item>
</channel></rss>)xml";
    QString error;
    const auto newest = Appcast::newestItem(feed, &error);
    ASSERT_TRUE(newest) << error.toStdString();
    EXPECT_EQ(*newest, (AppcastItem{QStringLiteral("2.0.1"), QStringLiteral("2.0 (Spring)"),
                                    QUrl(QStringLiteral("https://larkfold.io/notes/2.0.1"))}));
    const auto local = Appcast::newestItem(appcast({{"2.0", "file:///etc/passwd"}}));
    ASSERT_TRUE(local);
    EXPECT_FALSE(local->releaseNotes.isValid());
}

// Whatever the server answers, the user who asked is told, and nothing is downloaded beyond the feed.
TEST_F(UpdateControllerTest, TheUserIsToldWhatTheFeedSays)
{
    ASSERT_TRUE(server.isListening());
    UpdateController controller(server.url(), prompts, options());
    struct Case {
        const char* name;
        QByteArray body;
        int status;
        const char* message;
        const char* detail; // a part of the informative text
    };
    const Case cases[] = {
        {"newer", appcast({{"1.3.0", ""}, {"1.5.0", "https://larkfold.io/notes/1.5"}}), 200,
         "A new version of Larkfold is available!", "Larkfold 1.5.0 is now available — you have 1.4.0."},
        {"same", appcast({{"1.4.0", ""}}), 200, "You're up to date.",
         "Larkfold 1.4.0 is currently the newest version available."},
        {"older", appcast({{"1.2", ""}}), 200, "You're up to date.", "1.4.0"},
        {"not XML", "<rss><channel><item>", 200, "Larkfold couldn't check for updates.", "not valid XML"},
        {"not a feed", "<html><body>Moved</body></html>", 200, "Larkfold couldn't check for updates.", "not an RSS feed"},
        {"no version", appcast({}), 200, "Larkfold couldn't check for updates.", "lists no version"},
        {"server error", "oops", 500, "Larkfold couldn't check for updates.", "could not be reached"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.setFeed(c.body, c.status);
        const auto told = check(controller);
        ASSERT_TRUE(told);
        EXPECT_EQ(told->message, QString::fromUtf8(c.message));
        EXPECT_TRUE(told->informativeText.contains(QString::fromUtf8(c.detail))) << told->informativeText.toStdString();
    }
    EXPECT_EQ(server.requestCount(), int(std::size(cases)));
    EXPECT_EQ(prompts.alerts.front().link, QUrl(QStringLiteral("https://larkfold.io/notes/1.5")));
    EXPECT_EQ(prompts.alerts.front().linkButton, QStringLiteral("Release Notes"));

    server.close();
    const auto unreachable = check(controller);
    ASSERT_TRUE(unreachable);
    EXPECT_EQ(unreachable->message, QStringLiteral("Larkfold couldn't check for updates."));
    EXPECT_TRUE(unreachable->informativeText.startsWith(QStringLiteral("The update server could not be reached")));
}

// A newer version is a reminder while it is shown, and cleared once the user has answered.
TEST_F(UpdateControllerTest, ANewerVersionIsAReminderWhileShown)
{
    server.setFeed(appcast({{"2.0", "https://larkfold.io/notes/2.0"}}));
    QStringList order;
    struct Watch final : MenuPrompts {
        QStringList* order;
        std::vector<std::filesystem::path> chooseFolders(const FolderPanel&) override { return {}; }
        bool confirm(const FolderAlert&) override { return false; }
        bool alert(const MenuAlert&) override { *order << "shown"; return true; }
    } watch;
    watch.order = &order;
    UpdateController watched(server.url(), watch, options());
    QObject::connect(&watched, &UpdateController::updateReminderActive, [&] { order << "active"; });
    QObject::connect(&watched, &UpdateController::updateReminderCleared, [&] { order << "cleared"; });
    QSignalSpy finished(&watched, &UpdateController::checkFinished);
    watched.checkForUpdates();
    ASSERT_TRUE(finished.wait(kCheckTimeoutMs));
    EXPECT_EQ(order, (QStringList{"active", "shown", "cleared"}));

    // Up to date: no reminder.
    order.clear();
    server.setFeed(appcast({{"1.4", ""}}));
    watched.checkForUpdates();
    ASSERT_TRUE(finished.wait(kCheckTimeoutMs));
    EXPECT_EQ(order, QStringList{"shown"});
}

// Off by default; on, it checks by itself an interval after the last check and tells the user
// only of a newer version. The setting and the time of the check are kept as user defaults.
TEST_F(UpdateControllerTest, AutomaticChecksFollowTheSetting)
{
    server.setFeed(appcast({{"1.4.0", ""}}));
    {
        UpdateController controller(server.url(), prompts, options(std::chrono::milliseconds(200)));
        EXPECT_FALSE(controller.automaticallyChecksForUpdates());
        EXPECT_FALSE(controller.nextAutomaticCheck());
        QSignalSpy finished(&controller, &UpdateController::checkFinished);

        controller.setAutomaticallyChecksForUpdates(true);
        EXPECT_TRUE(defaults.value(QString::fromLatin1(UpdateController::kAutomaticChecksKey)).toBool());
        ASSERT_TRUE(finished.wait(kCheckTimeoutMs));
        EXPECT_TRUE(prompts.alerts.empty()) << "up to date: nothing to say";
        EXPECT_TRUE(defaults.contains(QString::fromLatin1(UpdateController::kLastCheckKey)));

        server.setFeed(appcast({{"1.5.0", "https://larkfold.io/notes/1.5"}}));
        QSignalSpy active(&controller, &UpdateController::updateReminderActive);
        ASSERT_TRUE(finished.wait(kCheckTimeoutMs));
        EXPECT_EQ(active.count(), 1);
        ASSERT_EQ(prompts.alerts.size(), 1u);
        EXPECT_EQ(prompts.alerts[0].message, QStringLiteral("A new version of Larkfold is available!"));

        // A failed background check tells nobody.
        server.setFeed("garbage");
        ASSERT_TRUE(finished.wait(kCheckTimeoutMs));
        EXPECT_EQ(prompts.alerts.size(), 1u);
    }
    // The next process finds the setting on and the next check a day after the last one.
    UpdateController later(server.url(), prompts, options());
    EXPECT_TRUE(later.automaticallyChecksForUpdates());
    const auto next = later.nextAutomaticCheck();
    ASSERT_TRUE(next);
    EXPECT_GT(QDateTime::currentDateTimeUtc().secsTo(*next), 23 * 3600);
    later.setAutomaticallyChecksForUpdates(false);
    EXPECT_FALSE(later.nextAutomaticCheck());
}

TEST_F(UpdateControllerTest, WithoutAFeedNothingIsChecked)
{
    UpdateController controller(QUrl(), prompts, options(std::chrono::milliseconds(10)));
    EXPECT_FALSE(controller.canCheckForUpdates());
    controller.setAutomaticallyChecksForUpdates(true);
    EXPECT_FALSE(controller.automaticallyChecksForUpdates());
    EXPECT_FALSE(defaults.contains(QString::fromLatin1(UpdateController::kAutomaticChecksKey)));
    controller.checkForUpdates();
    ASSERT_EQ(prompts.alerts.size(), 1u);
    EXPECT_EQ(prompts.alerts[0].message, QStringLiteral("This build of Larkfold does not check for updates."));
    EXPECT_EQ(server.requestCount(), 0);
}
