#include "platform/AppPaths.h"

#include <QStandardPaths>

namespace larkfold::platform {

std::filesystem::path appSupportDirectory()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return std::filesystem::path(base.toStdString()) / "Larkfold";
}

} // namespace larkfold::platform
