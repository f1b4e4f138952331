#include "app/MenuTarget.h"

#include <QAction>

namespace larkfold {

MenuTarget::MenuTarget(QAction& item) : QObject(&item)
{
    connect(&item, &QAction::triggered, this, &MenuTarget::fire);
}

MenuTarget& MenuTarget::of(QAction& item)
{
    if (auto* target = item.findChild<MenuTarget*>(QString(), Qt::FindDirectChildrenOnly))
        return *target;
    return *new MenuTarget(item);
}

void MenuTarget::fire()
{
    // A copy: the closure may open a dialog whose event loop updates the menu and rebinds the item.
    if (const auto closure = m_closure)
        closure();
}

} // namespace larkfold
