#include "shell/AppNotifications.h"

namespace larkfold {

AppNotifications& AppNotifications::instance()
{
    static AppNotifications notifications;
    return notifications;
}

} // namespace larkfold
