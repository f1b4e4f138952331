#pragma once

#include "store/AppConfig.h"
#include "store/BackupPair.h"
#include "support/FakeNotificationServer.h"
#include "support/FakeStatusNotifierWatcher.h"
#include "widgets/Theme.h"
#include "support/TempTree.h"

#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace larkfold::test {

// The real program (build/test/src/app/larkfold) on the private X server and session bus of the
// display main, with a stand-in panel (the fake StatusNotifierWatcher) and notification server,
// in a home of its own; driven from outside with xdotool as a user would.
class ProgramFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The program's environment: the private home, display and bus.
    QProcessEnvironment environment() const;
    // Starts the program, or `program` with `arguments` in that environment; kept until the test ends.
    QProcess& start(const QString& program = {}, const QStringList& arguments = {});
    QProcess& start(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment);
    // Writes the program's configuration with these pairs and settings into the private home.
    void writeConfig(const std::vector<BackupPair>& pairs, const AppConfig& config) const;

    static bool haveXdotool();
    // Runs xdotool on the private display; its output's lines.
    QStringList xdotool(const QStringList& arguments) const;
    // The visible top-level windows of that title on the private display.
    int visibleWindows(const QString& title) const;
    bool waitForWindows(const QString& title, int count, int timeoutMs = 10000) const;
    // The visible windows of the program titled `title`, by id.
    QStringList programWindows(const QString& title) const;
    // Waits for one visible window of the program of that title; its id, or empty.
    QString waitForProgramWindow(const QString& title, int timeoutMs = 10000) const;
    QRect windowGeometry(const QString& id) const;
    void clickAt(const QString& window, QPoint point, int button = 1) const;
    void pressReturnIn(const QString& window) const;
    // Types the folder into the file panel of that title and confirms it; the panel's completer
    // may take the first Return.
    void answerFolderPanel(const QString& title, const std::filesystem::path& folder,
                           const QString& screenshot = {}) const;
    // Without a window manager, the X server gives the focus to the root window when the focused
    // window goes, and a popup shown after that loses it at once and closes. A window manager
    // would hand the focus on; this hands it to whatever is under the pointer.
    void focusFollowsPointer() const;
    // Saves what the window shows into <build>/screenshots/<name>.png; the file's path.
    QString saveWindowShot(const QString& window, const QString& name) const;

    std::filesystem::path dataDir() const { return m_home / ".local/share/Larkfold"; }

    TempDir m_home;
    QString m_program;
    std::unique_ptr<FakeStatusNotifierWatcher> m_watcher;
    std::unique_ptr<FakeNotificationServer> m_notifications;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

// What the window shows now, read from the private X server.
QImage windowImage(const QString& window);
// The centre of what the window shows in a green of the theme (the accent itself unless told)
// within `area` (window coordinates), each colour channel within `tolerance`; none when the green
// covers less than `atLeast`.
std::optional<QPoint> greenArea(const QString& window, const QRect& area, int tolerance, QSize atLeast = {1, 1},
                                const QColor& green = Theme::green());
// Where the window shows green text between its header and footer: the step's link.
std::optional<QPoint> greenLink(const QString& window);

} // namespace larkfold::test
