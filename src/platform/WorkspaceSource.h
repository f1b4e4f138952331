#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace larkfold::platform {

// Tells when the user switches to another workspace (virtual desktop). This base never does: it
// stands for platforms that do not say.
class WorkspaceSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void activeWorkspaceChanged();
};

// A workspace source that a test triggers.
class FakeWorkspaceSource final : public WorkspaceSource {
    Q_OBJECT
public:
    using WorkspaceSource::WorkspaceSource;
    void simulateSwitch() { emit activeWorkspaceChanged(); }
};

// The workspace source for the GUI platform Qt runs on (QGuiApplication::platformName()): the X
// server's current desktop on "xcb"; elsewhere (Wayland, offscreen) one that never reports, which
// is logged once.
std::unique_ptr<WorkspaceSource> createWorkspaceSource(const QString& guiPlatformName);

} // namespace larkfold::platform
