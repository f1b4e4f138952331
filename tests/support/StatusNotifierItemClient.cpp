#include "support/StatusNotifierItemClient.h"

#include "support/EventLoop.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>

namespace larkfold::test {
namespace {

const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int kAnswerTimeoutMs = 10000;

// Sends the call and runs the event loop until its answer; an invalid message on timeout.
QDBusMessage callAndWait(const QDBusConnection& connection, const QDBusMessage& call)
{
    QDBusPendingCall pending = connection.asyncCall(call, kAnswerTimeoutMs);
    spinUntil([&] { return pending.isFinished(); }, kAnswerTimeoutMs + 1000);
    return pending.isFinished() ? pending.reply() : QDBusMessage();
}

bool succeeded(const QDBusMessage& reply)
{
    return reply.type() == QDBusMessage::ReplyMessage;
}

DBusMenuEntry readEntry(const QDBusArgument& argument)
{
    DBusMenuEntry entry;
    argument.beginStructure();
    argument >> entry.id >> entry.properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        entry.children.push_back(readEntry(child.variant().value<QDBusArgument>()));
    }
    argument.endArray();
    argument.endStructure();
    return entry;
}

} // namespace

QString DBusMenuEntry::label() const
{
    const QString raw = properties.value(QStringLiteral("label")).toString();
    QString text;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == u'_' && i + 1 < raw.size())
            ++i; // "_x" marks x as the mnemonic; "__" is a plain underscore
        text.append(raw[i]);
    }
    return text;
}

const DBusMenuEntry* DBusMenuEntry::child(const QString& label) const
{
    for (const DBusMenuEntry& entry : children)
        if (entry.isVisible() && !entry.isSeparator() && entry.label() == label)
            return &entry;
    return nullptr;
}

const DBusMenuEntry* DBusMenuEntry::childEndingWith(const QString& suffix) const
{
    for (const DBusMenuEntry& entry : children)
        if (entry.isVisible() && !entry.isSeparator() && entry.label().endsWith(suffix))
            return &entry;
    return nullptr;
}

QStringList DBusMenuEntry::childLabels() const
{
    QStringList labels;
    for (const DBusMenuEntry& entry : children)
        if (entry.isVisible())
            labels.append(entry.isSeparator() ? QStringLiteral("-") : entry.label());
    return labels;
}

StatusNotifierItemClient::StatusNotifierItemClient(QDBusConnection connection, const QString& item)
    : m_connection(std::move(connection))
{
    const qsizetype slash = item.indexOf(u'/');
    m_service = slash < 0 ? item : item.left(slash);
    m_path = slash < 0 ? QStringLiteral("/StatusNotifierItem") : item.mid(slash);
}

bool StatusNotifierItemClient::activate(int x, int y)
{
    QDBusMessage call = QDBusMessage::createMethodCall(m_service, m_path, kItemInterface, QStringLiteral("Activate"));
    call << x << y;
    return succeeded(callAndWait(m_connection, call));
}

bool StatusNotifierItemClient::contextMenu(int x, int y)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(m_service, m_path, kItemInterface, QStringLiteral("ContextMenu"));
    call << x << y;
    return succeeded(callAndWait(m_connection, call));
}

QVariant StatusNotifierItemClient::property(const QString& name)
{
    QDBusMessage call = QDBusMessage::createMethodCall(m_service, m_path, kPropertiesInterface, QStringLiteral("Get"));
    call << kItemInterface << name;
    const QDBusMessage reply = callAndWait(m_connection, call);
    if (!succeeded(reply) || reply.arguments().isEmpty())
        return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
}

std::optional<QString> StatusNotifierItemClient::toolTipTitle()
{
    const QVariant value = property(QStringLiteral("ToolTip"));
    if (!value.canConvert<QDBusArgument>())
        return std::nullopt;
    // (icon name, icon pixmaps a(iiay), title, text)
    const QDBusArgument argument = value.value<QDBusArgument>();
    QString iconName;
    QString title;
    argument.beginStructure();
    argument >> iconName;
    argument.beginArray();
    while (!argument.atEnd()) {
        int width = 0;
        int height = 0;
        QByteArray bytes;
        argument.beginStructure();
        argument >> width >> height >> bytes;
        argument.endStructure();
    }
    argument.endArray();
    argument >> title;
    argument.endStructure();
    return title;
}

QString StatusNotifierItemClient::menuPath()
{
    const QVariant menuPath = property(QStringLiteral("Menu"));
    return menuPath.canConvert<QDBusObjectPath>() ? menuPath.value<QDBusObjectPath>().path() : QString();
}

bool StatusNotifierItemClient::aboutToShow(const QString& path, int id)
{
    QDBusMessage call = QDBusMessage::createMethodCall(m_service, path, kMenuInterface, QStringLiteral("AboutToShow"));
    call << id;
    return succeeded(callAndWait(m_connection, call));
}

std::optional<DBusMenuEntry> StatusNotifierItemClient::menu()
{
    const QString path = menuPath();
    if (path.isEmpty() || !aboutToShow(path, 0))
        return std::nullopt;

    QDBusMessage getLayout = QDBusMessage::createMethodCall(m_service, path, kMenuInterface, QStringLiteral("GetLayout"));
    getLayout << 0 << -1 << QStringList();
    const QDBusMessage reply = callAndWait(m_connection, getLayout);
    if (!succeeded(reply) || reply.arguments().size() < 2)
        return std::nullopt;
    return readEntry(reply.arguments().at(1).value<QDBusArgument>());
}

bool StatusNotifierItemClient::clickMenuPath(const QStringList& path)
{
    const auto root = menu();
    if (!root || path.isEmpty())
        return false;
    const QString objectPath = menuPath();
    const DBusMenuEntry* entry = &*root;
    for (qsizetype i = 0; i < path.size(); ++i) {
        const QString& label = path[i];
        entry = label.startsWith(QStringLiteral("*  ")) ? entry->childEndingWith(label.mid(1)) : entry->child(label);
        if (!entry)
            return false;
        if (i + 1 < path.size() && !aboutToShow(objectPath, entry->id))
            return false;
    }
    QDBusMessage event = QDBusMessage::createMethodCall(m_service, objectPath, kMenuInterface, QStringLiteral("Event"));
    event << entry->id << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(QVariant(0))) << uint(0);
    return succeeded(callAndWait(m_connection, event));
}

QStringList StatusNotifierItemClient::menuLabels()
{
    QStringList labels;
    if (const auto root = menu())
        for (const DBusMenuEntry& entry : root->children)
            if (entry.isVisible() && !entry.isSeparator())
                labels.append(entry.label());
    return labels;
}

bool StatusNotifierItemClient::clickMenuItem(const QString& label)
{
    return clickMenuPath({label});
}

} // namespace larkfold::test
