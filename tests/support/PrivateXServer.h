#pragma once

#include <QByteArray>
#include <QProcess>

namespace larkfold::test {

// A private Xvfb on a display number nobody else uses, for tests that need an X server. Ready
// (its socket accepts connections) once isRunning() holds; stopped when the object goes.
class PrivateXServer {
public:
    // Whether Xvfb is installed; tests that need a display skip without it.
    static bool isAvailable();

    explicit PrivateXServer(int width = 1280, int height = 800);
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    bool isRunning() const { return !m_display.isEmpty(); }
    // The display name, e.g. ":5".
    const QByteArray& display() const { return m_display; }
    // Points DISPLAY at this server (and clears WAYLAND_DISPLAY).
    void exportAsDisplay() const;

private:
    QProcess m_server;
    QByteArray m_display;
};

} // namespace larkfold::test
