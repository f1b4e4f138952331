#pragma once

#include <QWidget>

#include <memory>

namespace larkfold {

// Holds the one window of a kind: the last one opened, kept after it is closed until the next
// request of its kind replaces it. Main thread only.
class SingletonWindowController {
public:
    QWidget* window() const { return m_window.get(); }
    bool isWindowVisible() const { return m_window && m_window->isVisible(); }
    // Takes the window, releasing any earlier one.
    void setWindow(std::unique_ptr<QWidget> window) { m_window = std::move(window); }

private:
    std::unique_ptr<QWidget> m_window;
};

} // namespace larkfold
