#include "ProgramFixture.h"

#include "platform/Json.h"
#include "widgets/Theme.h"
#include "support/EventLoop.h"
#include "support/Screenshot.h"
#include "support/TestDisplay.h"

#include <QGuiApplication>
#include <QImage>
#include <QMap>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>

#include <iostream>

#include <xcb/xcb.h>

namespace larkfold::test {

namespace fs = std::filesystem;

void ProgramFixture::SetUp()
{
    const char* binaryDir = std::getenv("LARKFOLD_BINARY_DIR");
    ASSERT_TRUE(binaryDir);
    m_program = QString::fromUtf8(binaryDir) + QStringLiteral("/src/app/larkfold");
    ASSERT_TRUE(fs::exists(m_program.toStdString()));
    fs::create_directories(m_home / "runtime");
    fs::permissions(m_home / "runtime", fs::perms::owner_all);
    m_watcher = std::make_unique<FakeStatusNotifierWatcher>(testSessionBus().address());
    ASSERT_TRUE(m_watcher->isRegistered());
    m_notifications = std::make_unique<FakeNotificationServer>(testSessionBus().connection(QStringLiteral("notify")));
}

void ProgramFixture::TearDown()
{
    for (auto& process : m_processes) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
        // What the program logged tells a failure on a loaded machine apart from a fault.
        if (HasFailure()) {
            const QByteArray log = process->readAllStandardError();
            if (!log.isEmpty())
                std::cerr << "---- " << process->program().toStdString() << " said:\n" << log.toStdString() << "----\n";
        }
    }
}

QProcessEnvironment ProgramFixture::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString home = QString::fromStdString(m_home.path().string());
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
    if (testXServer()) {
        env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(testXServer()->display()));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    } else {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), testSessionBus().address());
    // Printed when a test fails: which clicks arrived and what each did.
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("io.larkfold.Larkfold.Tray.debug=true"));
    return env;
}

QProcess& ProgramFixture::start(const QString& program, const QStringList& arguments)
{
    return start(program, arguments, environment());
}

QProcess& ProgramFixture::start(const QString& program, const QStringList& arguments,
                                const QProcessEnvironment& environment)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    process->start(program.isEmpty() ? m_program : program, arguments);
    EXPECT_TRUE(process->waitForStarted(5000));
    m_processes.push_back(std::move(process));
    return *m_processes.back();
}

void ProgramFixture::writeConfig(const std::vector<BackupPair>& pairs, const AppConfig& config) const
{
    platform::Json list = platform::Json::array();
    for (const BackupPair& pair : pairs)
        list.push_back(pair.toJson());
    fs::create_directories(dataDir());
    writeFile(dataDir() / "config.json",
              platform::encodeJsonPretty(platform::Json{{"appConfig", config.toJson()}, {"pairs", list}}));
}

bool ProgramFixture::haveXdotool()
{
    return !QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty();
}

QStringList ProgramFixture::xdotool(const QStringList& arguments) const
{
    QProcess tool;
    tool.setProcessEnvironment(environment());
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(5000))
        return {};
    return QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

int ProgramFixture::visibleWindows(const QString& title) const
{
    QProcess search;
    search.setProcessEnvironment(environment());
    search.start(QStringLiteral("xdotool"),
                 {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                  QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$')});
    if (!search.waitForFinished(5000))
        return -1;
    return int(QString::fromLatin1(search.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts).size());
}

bool ProgramFixture::waitForWindows(const QString& title, int count, int timeoutMs) const
{
    return spinUntil([&] { return visibleWindows(title) == count; }, timeoutMs);
}

QStringList ProgramFixture::programWindows(const QString& title) const
{
    QStringList found;
    for (const QString& id : xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                      QStringLiteral("--class"), QStringLiteral("larkfold")}))
        if (xdotool({QStringLiteral("getwindowname"), id}).value(0) == title)
            found << id;
    return found;
}

QString ProgramFixture::waitForProgramWindow(const QString& title, int timeoutMs) const
{
    QString window;
    spinUntil(
        [&] {
            const QStringList windows = programWindows(title);
            window = windows.size() == 1 ? windows.front() : QString();
            return !window.isEmpty() && windowGeometry(window).width() > 0;
        },
        timeoutMs);
    return window;
}

QRect ProgramFixture::windowGeometry(const QString& id) const
{
    QMap<QString, int> values;
    for (const QString& line : xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id}))
        values[line.section(QLatin1Char('='), 0, 0)] = line.section(QLatin1Char('='), 1).toInt();
    return QRect(values.value(QStringLiteral("X")), values.value(QStringLiteral("Y")),
                 values.value(QStringLiteral("WIDTH")), values.value(QStringLiteral("HEIGHT")));
}

void ProgramFixture::clickAt(const QString& window, QPoint point, int button) const
{
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(point.x()),
             QString::number(point.y()), QStringLiteral("click"), QString::number(button)});
}

void ProgramFixture::pressReturnIn(const QString& window) const
{
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    xdotool({QStringLiteral("key"), QStringLiteral("Return")});
}

void ProgramFixture::answerFolderPanel(const QString& title, const fs::path& folder, const QString& screenshot) const
{
    ASSERT_TRUE(waitForWindows(title, 1)) << title.toStdString();
    const QString panel = programWindows(title).value(0);
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), panel});
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+a")});
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"),
             QString::fromStdString(folder.string())});
    if (!screenshot.isEmpty())
        saveWindowShot(panel, screenshot);
    for (int attempt = 0; attempt < 3 && visibleWindows(title) == 1; ++attempt) {
        pressReturnIn(panel);
        waitForWindows(title, 0, 3000);
    }
    ASSERT_EQ(visibleWindows(title), 0) << title.toStdString();
}

void ProgramFixture::focusFollowsPointer() const
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return;
    xcb_connection_t* connection = x11->connection();
    xcb_set_input_focus(connection, XCB_INPUT_FOCUS_POINTER_ROOT, XCB_INPUT_FOCUS_POINTER_ROOT, XCB_CURRENT_TIME);
    // A round trip: the server has made the change before the program is asked to show anything.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

QString ProgramFixture::saveWindowShot(const QString& window, const QString& name) const
{
    const QString file = screenshotFile(name);
    if (file.isEmpty())
        return {};
    return windowImage(window).save(file) ? file : QString();
}

QImage windowImage(const QString& window)
{
    return QGuiApplication::primaryScreen()->grabWindow(WId(window.toULongLong())).toImage();
}

std::optional<QPoint> greenArea(const QString& window, const QRect& area, int tolerance, QSize atLeast,
                                const QColor& green)
{
    const QImage image = windowImage(window);
    QRect found;
    const QRect within = area.intersected(image.rect());
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - green.red()) < tolerance && std::abs(pixel.green() - green.green()) < tolerance
                && std::abs(pixel.blue() - green.blue()) < tolerance)
                found |= QRect(x, y, 1, 1);
        }
    if (found.isNull() || found.width() < atLeast.width() || found.height() < atLeast.height())
        return std::nullopt;
    return found.center();
}

std::optional<QPoint> greenLink(const QString& window)
{
    const QSize size = windowImage(window).size();
    // The links' green is deep enough to read: near enough, dark grey text would pass for it too.
    return greenArea(window, QRect(QPoint(0, 70), QPoint(size.width() - 1, std::min(size.height() - 70, 370) - 1)), 20,
                     {1, 1}, Theme::greenText());
}

} // namespace larkfold::test
