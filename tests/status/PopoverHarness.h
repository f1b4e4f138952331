#pragma once

#include "CoordinatorFixture.h"
#include "FakePairActionPrompts.h"
#include "engine/BackupEngine.h"
#include "platform/FileManager.h"
#include "setup/FakeSetupPrompts.h"
#include "status/BackupPairRow.h"
#include "widgets/ElidedText.h"
#include "widgets/SymbolView.h"
#include "widgets/ToneLabel.h"
#include "status/PopoverView.h"
#include "store/ConfigStore.h"
#include "support/EventLoop.h"
#include "support/Screenshot.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QDBusConnection>
#include <QEnterEvent>
#include <QPalette>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace larkfold::test {

// A popover at its size, offscreen, on a real coordinator with real engines over temporary
// folders. The ages count to `now`, which the test sets; the row commands' questions go to
// `prompts`, and folders the file manager is asked to show land in `openedFolders` unless the
// test hands in a file manager of its own.
class PopoverHarness : public ::testing::Test {
protected:
    static constexpr int kWidthPixels = 300;
    static constexpr int kHeightPixels = 360;

    ~PopoverHarness() override { m_view.reset(); }

    PopoverView& view(bool reduceMotion = true)
    {
        if (!m_view) {
            if (!m_started)
                start();
            PopoverView::Environment environment;
            environment.prompts = std::make_unique<ForwardingPairActionPrompts>(prompts);
            environment.sheetPrompts = [] { return std::make_unique<FakeSetupPrompts>(); };
            environment.fileManager = fileManager ? fileManager : &m_recordingFileManager;
            environment.now = [this] { return now; };
            environment.reduceMotion = reduceMotion;
            m_view = std::make_unique<PopoverView>(
                c.manager(), [this] { ++gearTaps; }, std::move(environment));
            m_view->resize(kWidthPixels, kHeightPixels);
            m_view->show();
            QCoreApplication::processEvents();
        }
        return *m_view;
    }

    StatusManager& start()
    {
        m_started = true;
        return c.start();
    }

    std::filesystem::path folder(const std::filesystem::path& relative) { return c.tree.mkdir(relative); }
    BackupEngine& engine(const QUuid& id) { return c.engine(id); }
    BackupPairRow& row(const QUuid& id)
    {
        BackupPairRow* found = view().row(id);
        EXPECT_NE(found, nullptr);
        return *found;
    }

    // Waits until no backup runs and every engine's outcome has settled.
    void settle()
    {
        ASSERT_TRUE(c.waitForTasks());
        ASSERT_TRUE(spinUntil(
            [&] {
                for (const auto& [id, engine] : c.manager().engines()) {
                    const BackupStatus& status = engine->status();
                    if (status.is<BackupStatus::Syncing>() || status.is<BackupStatus::Scanning>()
                        || status.is<BackupStatus::Queued>() || status.is<BackupStatus::Completed>())
                        return false;
                }
                return true;
            },
            20'000));
    }

    // Holds the pair's engine in a status, as the engine itself would show it.
    void show(const QUuid& id, const BackupStatus& status)
    {
        BackupEngine& pairEngine = engine(id);
        pairEngine.stop();
        pairEngine.setStatus(status);
        QCoreApplication::processEvents();
    }

    // Stores a change of the pair's record.
    template <typename Change>
    void changePair(const QUuid& id, Change change)
    {
        BackupPair pair = c.storedPair(id);
        change(pair);
        c.store().updatePair(pair);
        QCoreApplication::processEvents();
    }

    static void click(QWidget* widget, Qt::MouseButton button = Qt::LeftButton)
    {
        ASSERT_NE(widget, nullptr);
        QTest::mouseClick(widget, button, {}, widget->rect().center());
        QCoreApplication::processEvents();
    }

    // The pointer comes into the widget, or leaves it.
    static void hover(QWidget& widget, bool inside)
    {
        if (inside) {
            QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), widget.mapToGlobal(QPointF(5, 5)));
            QApplication::sendEvent(&widget, &enter);
        } else {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(&widget, &leave);
        }
    }

    template <typename T = QWidget>
    T* part(QWidget& within, const char* name)
    {
        QCoreApplication::processEvents();
        T* found = nullptr;
        for (T* candidate : within.findChildren<T*>(QString::fromLatin1(name))) {
            if (candidate->isVisibleTo(&within))
                found = candidate;
        }
        return found;
    }

    Coordinator c;
    FakePairActionPrompts prompts;
    QDateTime now = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC);
    const platform::FileManager* fileManager = nullptr;
    std::vector<QUrl> openedFolders;
    int gearTaps = 0;

private:
    bool m_started = false;
    platform::FileManager m_recordingFileManager{[this](const QUrl& folder) { openedFolders.push_back(folder); },
                                                 QDBusConnection(QString())};
    std::unique_ptr<PopoverView> m_view;
};

} // namespace larkfold::test
