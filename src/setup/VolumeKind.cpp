#include "setup/VolumeKind.h"

#include "platform/ByteCount.h"

namespace larkfold {

VolumeKind VolumeKind::of(const VolumeMonitor::VolumeInfo& volume)
{
    // A network share on a removable disk of another computer is still reached over the network.
    if (volume.isNetwork)
        return {QStringLiteral("network"), QStringLiteral("Network Volume")};
    if (volume.isExternal)
        return {QStringLiteral("externaldrive"), QStringLiteral("External Drive")};
    return {QStringLiteral("internaldrive"), QStringLiteral("Local Drive")};
}

QString VolumeKind::detailLine(const VolumeMonitor::VolumeInfo& volume)
{
    return of(volume).text + QStringLiteral(" \u00B7 ") + platform::formatByteCount(volume.freeSpace)
        + QStringLiteral(" free");
}

} // namespace larkfold
