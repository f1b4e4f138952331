#include "platform/UserDefaults.h"

#include <QSettings>

#include <atomic>

namespace larkfold::platform {
namespace {

std::atomic<UserDefaults*> g_defaults{nullptr};

QSettings settings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Larkfold"),
                     QStringLiteral("Larkfold"));
}

} // namespace

QVariant SettingsUserDefaults::value(const QString& key, const QVariant& fallback) const
{
    return settings().value(key, fallback);
}

void SettingsUserDefaults::setValue(const QString& key, const QVariant& value)
{
    QSettings s = settings();
    s.setValue(key, value);
    s.sync();
}

void SettingsUserDefaults::remove(const QString& key)
{
    QSettings s = settings();
    s.remove(key);
    s.sync();
}

bool SettingsUserDefaults::contains(const QString& key) const
{
    return settings().contains(key);
}

QVariant MemoryUserDefaults::value(const QString& key, const QVariant& fallback) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_values.find(key);
    return it == m_values.end() ? fallback : it->second;
}

void MemoryUserDefaults::setValue(const QString& key, const QVariant& value)
{
    std::lock_guard lock(m_mutex);
    m_values[key] = value;
}

void MemoryUserDefaults::remove(const QString& key)
{
    std::lock_guard lock(m_mutex);
    m_values.erase(key);
}

bool MemoryUserDefaults::contains(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    return m_values.count(key) > 0;
}

UserDefaults& userDefaults()
{
    static SettingsUserDefaults system;
    UserDefaults* defaults = g_defaults.load();
    return defaults ? *defaults : system;
}

void setUserDefaults(UserDefaults* defaults)
{
    g_defaults.store(defaults);
}

} // namespace larkfold::platform
