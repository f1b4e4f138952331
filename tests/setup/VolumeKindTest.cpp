#include "setup/VolumeKind.h"

#include "platform/ByteCount.h"

#include <gtest/gtest.h>

using namespace larkfold;

TEST(VolumeKind, NetworkBeforeExternalBeforeLocalWithTheFreeSpace)
{
    struct Case {
        bool isNetwork;
        bool isExternal;
        std::int64_t freeSpace;
        VolumeKind kind;
        QString detail;
    } cases[] = {
        {true, true, 0, {"network", "Network Volume"}, "Network Volume · " + platform::formatByteCount(0) + " free"},
        {true, false, 1'500'000, {"network", "Network Volume"}, "Network Volume · 1.5 MB free"},
        {false, true, 1'234'000'000'000, {"externaldrive", "External Drive"}, "External Drive · 1.23 TB free"},
        {false, false, 73'400'000, {"internaldrive", "Local Drive"}, "Local Drive · 73.4 MB free"},
    };
    for (const Case& c : cases) {
        VolumeMonitor::VolumeInfo volume{"/media/sam/Disk", "Disk", 0, c.freeSpace, c.isNetwork, c.isExternal};
        SCOPED_TRACE(c.detail.toStdString());
        EXPECT_EQ(VolumeKind::of(volume), c.kind);
        EXPECT_EQ(VolumeKind::detailLine(volume), c.detail);
    }
}
