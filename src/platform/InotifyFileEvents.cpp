#include "platform/InotifyFileEvents.h"

#include "platform/MainThread.h"

namespace larkfold::platform {

InotifyFileEvents::InotifyFileEvents() : InotifyFileEvents(Options{}) {}

InotifyFileEvents::InotifyFileEvents(Options options)
    : m_options(options), m_instance(options.instance ? *options.instance : InotifyInstance::shared())
{
}

InotifyFileEvents::~InotifyFileEvents()
{
    stop();
}

void InotifyFileEvents::setOnIncomplete(IncompleteHandler handler)
{
    m_onIncomplete = std::move(handler);
}

std::optional<QString> InotifyFileEvents::start(const std::filesystem::path& root, BatchHandler onBatch)
{
    requireMainThread("InotifyFileEvents::start");
    stop();
    auto added = m_instance.addStream(root, *this, m_options.latency, m_options.maxWatches);
    if (auto* failure = std::get_if<QString>(&added))
        return *failure;
    m_stream = std::get<InotifyInstance::StreamId>(added);
    m_onBatch = std::move(onBatch);
    return std::nullopt;
}

void InotifyFileEvents::stop()
{
    if (m_stream)
        m_instance.removeStream(*m_stream);
    m_stream.reset();
    m_onBatch = nullptr;
}

bool InotifyFileEvents::isSetUp() const
{
    return m_stream && m_instance.isSetUp(*m_stream);
}

std::size_t InotifyFileEvents::watchCount() const
{
    return m_stream ? m_instance.watchCount(*m_stream) : 0;
}

void InotifyFileEvents::batchArrived(const FileEventBatch& batch)
{
    if (m_onBatch)
        m_onBatch(batch);
}

void InotifyFileEvents::watchesIncomplete()
{
    if (m_onIncomplete)
        m_onIncomplete();
}

} // namespace larkfold::platform
