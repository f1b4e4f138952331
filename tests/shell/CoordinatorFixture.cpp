#include "CoordinatorFixture.h"

#include "copy/BandwidthThrottle.h"
#include "engine/BackupTasks.h"
#include "support/EventLoop.h"
#include "support/PairRecord.h"

#include <algorithm>

namespace larkfold::test {

namespace fs = std::filesystem;

Coordinator::Coordinator() : m_store(m_appSupport.path())
{
    platform::setIdleTime(&idle);
    platform::setUserDefaults(&defaults);
    environment.engine.volumes = &volumes;
    environment.engine.power = &power;
    environment.engine.finishedStatusDelay = std::chrono::milliseconds(300);
    // The monitor follows a table nobody changes unless a test does; the kernel's flag is not polled.
    environment.volumeMonitor.changeFile.clear();
    environment.clock = &clock;
    auto timer = std::make_unique<platform::FakeContinuousTimer>(clock);
    m_scheduleTimer = timer.get();
    environment.scheduleTimer = std::move(timer);
    environment.wake = &wake;
    environment.screens = &screens;
    environment.network = &network;
}

void Coordinator::advanceClock(std::chrono::seconds by)
{
    clock.advance(by);
    m_scheduleTimer->poll();
}

Coordinator::~Coordinator()
{
    m_manager.reset();
    waitForTasks();
    currentBandwidthMode = 0;
    platform::setUserDefaults(nullptr);
    platform::setIdleTime(nullptr);
}

BackupPair Coordinator::makePair(const QString& name, const fs::path& source, const fs::path& destination,
                                 bool isEnabled) const
{
    return pairRecord(name, source, destination, isEnabled);
}

BackupPair Coordinator::storePair(const QString& name, const fs::path& source, const fs::path& destination,
                                  bool isEnabled)
{
    const BackupPair pair = makePair(name, source, destination, isEnabled);
    m_store.addPair(pair);
    return pair;
}

void Coordinator::setBandwidthMode(AppConfig::BandwidthMode mode)
{
    AppConfig config = m_store.appConfig();
    config.bandwidthMode = mode;
    m_store.setAppConfig(config);
}

Coordinator::TwoPairs Coordinator::storeDocsAndPausedMusic(int docsFileCount)
{
    writeFiles(tree.path("docs"), docsFileCount);
    tree.write("music/b.txt", "b");
    tree.mkdir("dest");
    return {storePair("Docs", tree.path("docs"), tree.path("dest")),
            storePair("Music", tree.path("music"), tree.path("dest"), false)};
}

StatusManager& Coordinator::start(std::unique_ptr<platform::Notifier> notifier)
{
    if (!notifier) {
        auto fake = std::make_unique<platform::FakeNotifier>();
        m_notifier = fake.get();
        notifier = std::move(fake);
    }
    environment.notifier = std::move(notifier);
    m_manager = std::make_unique<StatusManager>(m_store, std::move(environment));
    return *m_manager;
}

BackupEngine& Coordinator::engine(const QUuid& id)
{
    BackupEngine* engine = m_manager->engine(id);
    if (!engine)
        throw std::logic_error("the pair has no engine");
    return *engine;
}

BackupPair Coordinator::storedPair(const QUuid& id) const
{
    for (const BackupPair& pair : m_store.pairs())
        if (pair.id == id)
            return pair;
    return {};
}

std::vector<BackupEvent::EventType> Coordinator::eventTypes(const QUuid& id) const
{
    std::vector<BackupEvent::EventType> types;
    for (const BackupEvent& event : m_store.events())
        if (event.pairId == id)
            types.push_back(event.type);
    return types;
}

int Coordinator::eventCount(const QUuid& id, BackupEvent::EventType type) const
{
    const auto types = eventTypes(id);
    return static_cast<int>(std::count(types.begin(), types.end(), type));
}

bool Coordinator::waitForEvents(const QUuid& id, BackupEvent::EventType type, int count, int timeoutMs)
{
    return spinUntil([&] { return eventCount(id, type) >= count; }, timeoutMs);
}

bool Coordinator::waitForTasks(int timeoutMs)
{
    const bool ended = spinUntil([] { return BackupTasks::instance().runningCount() == 0; }, timeoutMs);
    QCoreApplication::processEvents();
    return ended;
}

std::vector<QString> Coordinator::notificationTitles() const
{
    std::vector<QString> titles;
    if (m_notifier)
        for (const auto& shown : m_notifier->shown())
            titles.push_back(shown.title);
    return titles;
}

} // namespace larkfold::test
