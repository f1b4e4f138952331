#pragma once

#include <QString>

namespace larkfold::platform {

// Starts the program when the user logs in.
class LoginItem {
public:
    enum class Status {
        notRegistered, // no entry
        enabled,       // an entry that starts this program at login
        other,         // an entry of our name that would not: another program's path, switched off, unreadable
    };

    virtual ~LoginItem() = default;
    virtual Status status() const = 0;
    // Each gives an empty text on success, else why it failed, fit for the log.
    [[nodiscard]] virtual QString registerItem() = 0;
    [[nodiscard]] virtual QString unregisterItem() = 0;
};

// A login item for tests: a status to set, failures to order, calls counted.
class FakeLoginItem final : public LoginItem {
public:
    Status status() const override { return m_status; }
    QString registerItem() override;
    QString unregisterItem() override;

    void setStatus(Status status) { m_status = status; }
    // A non-empty reason makes every later call fail with it and change nothing.
    void failWith(QString reason) { m_failure = std::move(reason); }
    int registerCount() const { return m_registers; }
    int unregisterCount() const { return m_unregisters; }

private:
    Status m_status = Status::notRegistered;
    QString m_failure;
    int m_registers = 0;
    int m_unregisters = 0;
};

} // namespace larkfold::platform
