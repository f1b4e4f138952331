#pragma once

#include <QObject>

#include <functional>

class QAction;

namespace larkfold {

// Runs a closure when its menu item is chosen. The item owns it; the closure is replaced each
// time the menu is brought up to date, so the item itself can stay.
class MenuTarget : public QObject {
    Q_OBJECT

public:
    // The item's target, made and connected on first use.
    static MenuTarget& of(QAction& item);

    void setClosure(std::function<void()> closure) { m_closure = std::move(closure); }
    // Calls the closure; one that brings the menu up to date may replace it meanwhile.
    void fire();

private:
    explicit MenuTarget(QAction& item);

    std::function<void()> m_closure;
};

} // namespace larkfold
