#include "EngineHarnessFixture.h"

#include "engine/BackupTasks.h"
#include "support/EventLoop.h"
#include "support/PairRecord.h"

namespace larkfold::test {

EngineHarness::EngineHarness(BackupQueue::Options queueOptions)
    : m_store(std::make_unique<ConfigStore>(m_appSupport.path())),
      m_queue(std::make_shared<BackupQueue>(queueOptions))
{
    platform::setIdleTime(&idle);
    platform::setUserDefaults(&defaults);
    auto notifier = std::make_unique<platform::FakeNotifier>();
    m_notifier = notifier.get();
    m_notifications = std::make_unique<NotificationManager>(m_store.get(), std::move(notifier));
    environment.volumes = &volumes;
    environment.power = &power;
    environment.finishedStatusDelay = std::chrono::milliseconds(300);
}

EngineHarness::~EngineHarness()
{
    for (auto& engine : m_engines)
        engine->stop();
    // Tasks hop to the main thread on their way out; the queue may only go once they have.
    spinUntil([] { return BackupTasks::instance().runningCount() == 0; });
    m_engines.clear();
    m_notifications.reset();
    m_queue.reset();
    m_store.reset();
    platform::setUserDefaults(nullptr);
    platform::setIdleTime(nullptr);
}

BackupPair EngineHarness::addPair(const QString& name, const std::filesystem::path& source,
                                  const std::filesystem::path& destination)
{
    const BackupPair pair = pairRecord(name, source, destination);
    m_store->addPair(pair);
    return pair;
}

BackupEngine& EngineHarness::makeEngine(const BackupPair& pair)
{
    auto engine = std::make_unique<BackupEngine>(pair.id, environment);
    engine->setConfigStore(m_store.get());
    engine->setBackupQueue(m_queue);
    engine->setNotificationManager(m_notifications.get());
    m_statuses.clear();
    BackupEngine* raw = engine.get();
    QObject::connect(raw, &BackupEngine::statusChanged, [this, raw] { m_statuses.push_back(raw->status()); });
    m_engines.push_back(std::move(engine));
    return *raw;
}

BackupEngine& EngineHarness::startEngine(const BackupPair& pair)
{
    BackupEngine& engine = makeEngine(pair);
    engine.start(pair);
    return engine;
}

bool EngineHarness::waitForStatus(const std::function<bool(const BackupStatus&)>& matches, int timeoutMs)
{
    return spinUntil([&] { return matches(engine().status()); }, timeoutMs);
}

bool EngineHarness::waitUntilIdleAfterRun(int timeoutMs)
{
    return spinUntil(
        [&] {
            if (engine().hasRunningTask() || !isIdle(engine().status()))
                return false;
            QCoreApplication::processEvents();
            return std::any_of(m_statuses.begin(), m_statuses.end(),
                               [](const BackupStatus& s) { return isCompleted(s) || isError(s); });
        },
        timeoutMs);
}

bool EngineHarness::waitForTasks(int timeoutMs)
{
    const bool ended = spinUntil([&] { return !engine().hasRunningTask(); }, timeoutMs);
    QCoreApplication::processEvents();
    return ended;
}

std::vector<BackupEvent::EventType> EngineHarness::eventTypes() const
{
    std::vector<BackupEvent::EventType> types;
    for (const BackupEvent& event : m_store->events())
        types.push_back(event.type);
    return types;
}

std::vector<QString> EngineHarness::eventMessages() const
{
    std::vector<QString> messages;
    for (const BackupEvent& event : m_store->events())
        messages.push_back(event.message.value_or(QString()));
    return messages;
}

std::vector<QString> EngineHarness::notificationTitles() const
{
    std::vector<QString> titles;
    for (const auto& shown : m_notifier->shown())
        titles.push_back(shown.title);
    return titles;
}

std::vector<QString> EngineHarness::notificationBodies() const
{
    std::vector<QString> bodies;
    for (const auto& shown : m_notifier->shown())
        bodies.push_back(shown.body);
    return bodies;
}

void EngineHarness::setNotificationLevel(AppConfig::NotificationLevel level)
{
    AppConfig config = m_store->appConfig();
    config.notificationLevel = level;
    m_store->setAppConfig(config);
}

BackupPair EngineHarness::storedPair(const QUuid& id) const
{
    for (const BackupPair& pair : m_store->pairs())
        if (pair.id == id)
            return pair;
    return {};
}

bool isIdle(const BackupStatus& status)
{
    return status.is<BackupStatus::Idle>();
}

bool isCompleted(const BackupStatus& status)
{
    return status.is<BackupStatus::Completed>();
}

bool isError(const BackupStatus& status)
{
    return status.is<BackupStatus::Error>();
}

} // namespace larkfold::test
