#pragma once

#include "setup/SetupPrompts.h"

#include <QString>
#include <QUrl>

namespace larkfold {

// An alert of the status menu or of an update check. The first button is the confirming or safe
// choice ("Stop Backup", "OK"); without a second button the alert only tells.
struct MenuAlert {
    enum class Style { informational, warning };

    Style style = Style::informational;
    QString message;
    QString informativeText;
    QString firstButton = QStringLiteral("OK");
    QString secondButton;
    // A page the alert offers to open with `linkButton`, which also ends it.
    QUrl link;
    QString linkButton;

    // An alert that only tells, with "OK".
    static MenuAlert notice(Style style, QString message, QString informativeText = {})
    {
        MenuAlert alert;
        alert.style = style;
        alert.message = std::move(message);
        alert.informativeText = std::move(informativeText);
        return alert;
    }
    // A warning that asks: `first` goes ahead, `second` leaves things as they are.
    static MenuAlert question(QString message, QString informativeText, QString first, QString second)
    {
        MenuAlert alert = notice(Style::warning, std::move(message), std::move(informativeText));
        alert.firstButton = std::move(first);
        alert.secondButton = std::move(second);
        return alert;
    }

    bool operator==(const MenuAlert&) const = default;
};

// The panels and alerts of the status menu and the update checks: the setup flows' folder
// panels and folder alerts, and alerts of its own. Tests answer them. Main thread only; each
// call is modal and returns once the user has answered.
class MenuPrompts : public SetupPrompts {
public:
    // Puts the alert; true only when the user ended it with its first button.
    virtual bool alert(const MenuAlert& alert) = 0;
};

} // namespace larkfold
