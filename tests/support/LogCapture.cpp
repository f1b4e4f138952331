#include "support/LogCapture.h"

#include <atomic>

namespace larkfold::test {
namespace {
std::atomic<LogCapture*> g_active{nullptr};
}

LogCapture::LogCapture()
{
    g_active.store(this);
    m_previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    g_active.store(nullptr);
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    LogCapture* self = g_active.load();
    if (!self)
        return;
    {
        std::lock_guard lock(self->m_mutex);
        self->m_messages.push_back({QString::fromUtf8(context.category ? context.category : ""), type, text});
    }
    if (type == QtFatalMsg && self->m_previous)
        self->m_previous(type, context, text);
}

std::vector<LogCapture::Message> LogCapture::messages() const
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

int LogCapture::count(const QString& fragment, const QString& category) const
{
    std::lock_guard lock(m_mutex);
    int n = 0;
    for (const auto& m : m_messages) {
        if (m.text.contains(fragment) && (category.isEmpty() || m.category.endsWith(category)))
            ++n;
    }
    return n;
}

void LogCapture::clear()
{
    std::lock_guard lock(m_mutex);
    m_messages.clear();
}

} // namespace larkfold::test
