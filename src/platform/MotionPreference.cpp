#include "platform/MotionPreference.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

namespace larkfold::platform {
namespace {

namespace fs = std::filesystem;

// The portal answers at once or not at all; a window must not wait on it.
constexpr int kPortalTimeoutMs = 250;

QString settingsFile(const fs::path& folder, const char* name)
{
    return QFile::decodeName(QByteArray::fromStdString((folder / name).native()));
}

// GNOME keeps its settings in dconf, which the settings portal reads for us.
std::optional<bool> reducedMotionFromPortal()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return std::nullopt;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
    call << QStringLiteral("org.gnome.desktop.interface") << QStringLiteral("enable-animations");
    const QDBusMessage reply = bus.call(call, QDBus::Block, kPortalTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    // Read wraps the value in a second variant.
    QVariant value = reply.arguments().constFirst();
    while (value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    if (value.userType() != QMetaType::Bool)
        return std::nullopt;
    return !value.toBool();
}

} // namespace

std::optional<bool> reducedMotionInSettingsFiles(const fs::path& configFolder)
{
    const QSettings kde(settingsFile(configFolder, "kdeglobals"), QSettings::IniFormat);
    if (const QVariant factor = kde.value(QStringLiteral("KDE/AnimationDurationFactor")); factor.isValid())
        return factor.toDouble() == 0.0;
    const QSettings gtk(settingsFile(configFolder, "gtk-3.0/settings.ini"), QSettings::IniFormat);
    if (const QVariant enabled = gtk.value(QStringLiteral("Settings/gtk-enable-animations")); enabled.isValid()) {
        const QString text = enabled.toString().trimmed().toLower();
        return text == QLatin1String("false") || text == QLatin1String("0");
    }
    return std::nullopt;
}

bool prefersReducedMotion()
{
    static const bool reduced = [] {
        if (const auto portal = reducedMotionFromPortal())
            return *portal;
        const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        return reducedMotionInSettingsFiles(QFile::encodeName(config).toStdString()).value_or(false);
    }();
    return reduced;
}

} // namespace larkfold::platform
