#include "platform/WorkspaceSource.h"

#include "platform/Log.h"
#include "platform/X11WorkspaceSource.h"

namespace larkfold::platform {

std::unique_ptr<WorkspaceSource> createWorkspaceSource(const QString& guiPlatformName)
{
    if (guiPlatformName == QStringLiteral("xcb"))
        return std::make_unique<X11WorkspaceSource>();
    qCInfo(lcApp).noquote() << "Workspace switches are not seen on the" << guiPlatformName << "platform";
    return std::make_unique<WorkspaceSource>();
}

} // namespace larkfold::platform
