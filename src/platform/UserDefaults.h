#pragma once

#include <QString>
#include <QVariant>

#include <map>
#include <mutex>

namespace larkfold::platform {

// The program's few user defaults ("Larkfold.tipCounter", "didLogPackageUpgrade_<id>").
class UserDefaults {
public:
    virtual ~UserDefaults() = default;
    virtual QVariant value(const QString& key, const QVariant& fallback = {}) const = 0;
    virtual void setValue(const QString& key, const QVariant& value) = 0;
    virtual void remove(const QString& key) = 0;
    virtual bool contains(const QString& key) const = 0;
};

// ~/.config/Larkfold/Larkfold.conf through QSettings.
class SettingsUserDefaults final : public UserDefaults {
public:
    QVariant value(const QString& key, const QVariant& fallback = {}) const override;
    void setValue(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;
    bool contains(const QString& key) const override;
};

class MemoryUserDefaults final : public UserDefaults {
public:
    QVariant value(const QString& key, const QVariant& fallback = {}) const override;
    void setValue(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;
    bool contains(const QString& key) const override;

private:
    mutable std::mutex m_mutex;
    std::map<QString, QVariant> m_values;
};

// The process-wide defaults; tests may replace them (nullptr restores QSettings).
UserDefaults& userDefaults();
void setUserDefaults(UserDefaults* defaults);

} // namespace larkfold::platform
