#pragma once

#include <QString>
#include <QtGlobal>

#include <mutex>
#include <vector>

namespace larkfold::test {

// Records every Qt log message while it lives (from any thread).
class LogCapture {
public:
    struct Message {
        QString category;
        QtMsgType type;
        QString text;
    };

    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<Message> messages() const;
    // Number of messages whose text contains `fragment` (and, when given, of that category suffix).
    int count(const QString& fragment, const QString& category = {}) const;
    bool contains(const QString& fragment, const QString& category = {}) const { return count(fragment, category) > 0; }
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& text);
    mutable std::mutex m_mutex;
    std::vector<Message> m_messages;
    QtMessageHandler m_previous = nullptr;
};

} // namespace larkfold::test
