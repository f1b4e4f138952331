#include "platform/LinuxNotifier.h"

#include "platform/DBusCall.h"

#include "org_freedesktop_notifications_interface.h"

#include <QDBusPendingReply>

namespace larkfold::platform {
namespace {

// Let the server decide how long a notification stays.
constexpr int kServerDefaultTimeout = -1;

// Servers read the body as markup, and pair names come from folder names that anyone preparing a
// drive chooses: a name must show as text, never as a link or formatting. The summary is plain text.
QString escapeMarkup(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'&')
            escaped += QLatin1String("&amp;");
        else if (c == u'<')
            escaped += QLatin1String("&lt;");
        else if (c == u'>')
            escaped += QLatin1String("&gt;");
        else
            escaped += c;
    }
    return escaped;
}

} // namespace

LinuxNotifier::LinuxNotifier(const QDBusConnection& connection, QString appIcon)
    : m_connection(connection)
    , m_appIcon(std::move(appIcon))
    , m_server(std::make_unique<OrgFreedesktopNotificationsInterface>(
          QString::fromLatin1(kServiceName), QString::fromLatin1(kObjectPath), m_connection))
{
}

LinuxNotifier::~LinuxNotifier() = default;

void LinuxNotifier::show(const Notification& notification, FailureHandler onFailure)
{
    const QVariantMap hints{
        {QStringLiteral("sound-name"), QString::fromLatin1(kSoundName)},
        {QString::fromLatin1(kIdentifierHint), notification.identifier},
        // Lets the server group our notifications under the application and find its icon.
        {QStringLiteral("desktop-entry"), QString::fromLatin1(kApplicationId)},
    };
    // replaces_id 0: every notification is a new one, none replaces another on screen.
    QDBusPendingReply<uint> reply = m_server->Notify(QString::fromLatin1(kAppName), 0, m_appIcon,
                                                     notification.title, escapeMarkup(notification.body), {}, hints,
                                                     kServerDefaultTimeout);
    whenFinished(reply, m_server.get(), [onFailure = std::move(onFailure)](const QDBusPendingCall& call) {
        if (call.isError() && onFailure)
            onFailure(call.error().message());
    });
}

void LinuxNotifier::checkServer(ServerCheckHandler onAnswer)
{
    QDBusPendingReply<QString, QString, QString, QString> reply = m_server->GetServerInformation();
    whenFinished(reply, m_server.get(), [onAnswer = std::move(onAnswer)](const QDBusPendingCall& call) {
        if (!onAnswer)
            return;
        const QDBusPendingReply<QString, QString, QString, QString> answer = call;
        if (answer.isError()) {
            onAnswer({std::nullopt, answer.error().message()});
            return;
        }
        onAnswer({NotificationServerInfo{answer.argumentAt<0>(), answer.argumentAt<1>(), answer.argumentAt<2>(),
                                         answer.argumentAt<3>()},
                  {}});
    });
}

} // namespace larkfold::platform
