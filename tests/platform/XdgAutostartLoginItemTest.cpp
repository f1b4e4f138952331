#include "platform/XdgAutostartLoginItem.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace larkfold::platform;
using larkfold::test::readFile;
using larkfold::test::TempTree;
namespace fs = std::filesystem;
using Status = LoginItem::Status;

namespace {

constexpr const char* kProgram = "/opt/larkfold/bin/larkfold";

std::string entryWithExec(const std::string& exec, const std::string& extra = {})
{
    return "[Desktop Entry]\nType=Application\nName=Larkfold\nExec=" + exec + "\n" + extra;
}

} // namespace

TEST(XdgAutostartLoginItem, RegisteringWritesTheEntryAndUnregisteringRemovesIt)
{
    TempTree tree;
    XdgAutostartLoginItem item(kProgram, tree.path("config/autostart"));
    EXPECT_EQ(item.entryPath(), tree.path("config/autostart/larkfold.desktop"));
    EXPECT_EQ(item.status(), Status::notRegistered);

    ASSERT_EQ(item.registerItem(), QString());
    // The installed desktop entry's keys, with this program and autostart switched on.
    std::string desktopEntry = readFile(fs::path(std::getenv("LARKFOLD_BINARY_DIR"))
                                        / "src/share/applications/io.larkfold.Larkfold.desktop");
    ASSERT_NE(desktopEntry.find("\nExec=larkfold\n"), std::string::npos) << desktopEntry;
    desktopEntry.replace(desktopEntry.find("Exec=larkfold"), 13, "Exec=/opt/larkfold/bin/larkfold");
    EXPECT_EQ(tree.read("config/autostart/larkfold.desktop"), desktopEntry + "X-GNOME-Autostart-enabled=true\n");
    EXPECT_NE(desktopEntry.find("\nIcon=io.larkfold.Larkfold\n"), std::string::npos);
    EXPECT_EQ(item.status(), Status::enabled);

    ASSERT_EQ(item.unregisterItem(), QString());
    EXPECT_FALSE(tree.exists("config/autostart/larkfold.desktop"));
    EXPECT_EQ(item.status(), Status::notRegistered);
    EXPECT_EQ(item.unregisterItem(), QString()) << "nothing to remove is no failure";
}

TEST(XdgAutostartLoginItem, IsEnabledOnlyByAnEntryThatStartsThisProgram)
{
    struct Case {
        const char* name;
        std::string entry;
        Status expected;
    };
    const Case cases[] = {
        {"ours", entryWithExec(kProgram), Status::enabled},
        {"ours with arguments and spaces", "[Desktop Entry]\nExec = /opt/larkfold/bin/larkfold --quiet\n", Status::enabled},
        {"another program", entryWithExec("/usr/bin/larkfold"), Status::other},
        {"hidden", entryWithExec(kProgram, "Hidden=true\n"), Status::other},
        {"switched off in GNOME", entryWithExec(kProgram, "X-GNOME-Autostart-enabled=false\n"), Status::other},
        {"Exec in another group", "[Desktop Entry]\nName=Larkfold\n[Desktop Action x]\nExec=/opt/larkfold/bin/larkfold\n",
         Status::other},
        {"unclosed quote", entryWithExec("\"/opt/larkfold/bin/larkfold"), Status::other},
        {"empty", "", Status::other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        tree.write("autostart/larkfold.desktop", c.entry);
        XdgAutostartLoginItem item(kProgram, tree.path("autostart"));
        EXPECT_EQ(item.status(), c.expected);
        if (c.expected == Status::other) {
            // Registering replaces an entry that would not start this program.
            ASSERT_EQ(item.registerItem(), QString());
            EXPECT_EQ(item.status(), Status::enabled);
        }
    }
}

TEST(XdgAutostartLoginItem, QuotesAProgramPathThatNeedsIt)
{
    struct Case {
        const char* program;
        const char* exec; // as written in the file
    };
    const Case cases[] = {
        {"/opt/My Apps/larkfold", "Exec=\"/opt/My Apps/larkfold\"\n"},
        {"/opt/lark$fold 100%/larkfold", "Exec=\"/opt/lark\\\\$fold 100%%/larkfold\"\n"},
        {"/opt/a\\b/larkfold", "Exec=\"/opt/a\\\\\\\\b/larkfold\"\n"},
        {"/opt/100%/larkfold", "Exec=/opt/100%%/larkfold\n"},
        {"/opt/Über/larkfold", "Exec=/opt/Über/larkfold\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        TempTree tree;
        XdgAutostartLoginItem item(c.program, tree.path("autostart"));
        ASSERT_EQ(item.registerItem(), QString());
        EXPECT_NE(tree.read("autostart/larkfold.desktop").find(c.exec), std::string::npos)
            << tree.read("autostart/larkfold.desktop");
        EXPECT_EQ(item.status(), Status::enabled);
    }
}

TEST(XdgAutostartLoginItem, ReportsWhyItCannotRegister)
{
    struct Case {
        const char* name;
        std::filesystem::path program;
        const char* folder;
        const char* reasonFragment;
    };
    const Case cases[] = {
        {"autostart is a file", kProgram, "file/autostart", "autostart folder"},
        {"relative program path", "bin/larkfold", "config/autostart", "path"},
        {"newline in the path", "/opt/lark\nfold", "config/autostart", "path"},
        {"not UTF-8", "/opt/lark\xff/larkfold", "config/autostart", "path"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        tree.write("file/autostart", "not a folder");
        XdgAutostartLoginItem item(c.program, tree.path(c.folder));
        const QString reason = item.registerItem();
        EXPECT_TRUE(reason.contains(QString::fromLatin1(c.reasonFragment))) << reason.toStdString();
        EXPECT_EQ(item.status(), Status::notRegistered);
        EXPECT_EQ(item.unregisterItem(), QString());
    }
}

TEST(XdgAutostartLoginItem, LivesInTheUsersConfigFolder)
{
    const std::string home = std::getenv("HOME");
    const std::string configHome = std::getenv("XDG_CONFIG_HOME");
    setenv("XDG_CONFIG_HOME", "/tmp/larkfold-config", 1);
    EXPECT_EQ(XdgAutostartLoginItem::defaultAutostartFolder(), "/tmp/larkfold-config/autostart");
    setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(XdgAutostartLoginItem::defaultAutostartFolder(), std::filesystem::path(home) / ".config/autostart");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(XdgAutostartLoginItem::defaultAutostartFolder(), std::filesystem::path(home) / ".config/autostart");
    setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);

    EXPECT_TRUE(XdgAutostartLoginItem::runningExecutable().is_absolute());
    EXPECT_EQ(XdgAutostartLoginItem::runningExecutable().filename(), "platform_XdgAutostartLoginItemTest");
}
