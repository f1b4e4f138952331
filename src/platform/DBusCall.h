#pragma once

#include <QDBusPendingCall>

#include <functional>

class QObject;

namespace larkfold::platform {

// Runs `handler` with the finished call on `context`'s thread, later, never inside this call; also
// for a call that failed before it left (no bus), which finishes at once. Nothing runs once
// `context` is gone.
void whenFinished(const QDBusPendingCall& call, QObject* context,
                  std::function<void(const QDBusPendingCall&)> handler);

} // namespace larkfold::platform
