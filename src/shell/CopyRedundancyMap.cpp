#include "shell/CopyRedundancyMap.h"

#include "platform/Paths.h"
#include "shell/StatusManager.h"

#include <algorithm>

namespace larkfold {

namespace fs = std::filesystem;

CopyRedundancyMap computeCopyRedundancy(const std::vector<BackupPair>& pairs,
                                        const std::vector<platform::MountEntry>& mounts)
{
    struct Group {
        fs::path source;
        std::optional<QByteArray> sourceBookmark;
        std::vector<fs::path> targets;
        std::vector<QUuid> pairIds;
    };
    std::vector<Group> groups;
    for (const BackupPair& pair : pairs) {
        const fs::path source = platform::standardized(pair.sourceURL);
        auto group = std::find_if(groups.begin(), groups.end(), [&](const Group& g) { return g.source == source; });
        if (group == groups.end())
            group = groups.insert(groups.end(), Group{source, std::nullopt, {}, {}});
        if (!group->sourceBookmark)
            group->sourceBookmark = pair.sourceBookmark;
        group->pairIds.push_back(pair.id);
        const auto addTarget = [&](const fs::path& target) {
            const fs::path standard = platform::standardized(target);
            if (std::find(group->targets.begin(), group->targets.end(), standard) == group->targets.end())
                group->targets.push_back(standard);
        };
        addTarget(pair.destinationURL);
        if (pair.offsiteURL)
            addTarget(*pair.offsiteURL);
    }

    CopyRedundancyMap result;
    for (const Group& group : groups) {
        const auto targets = static_cast<int>(group.targets.size());
        CopyRedundancy value = CopyRedundancy::redundant(targets);
        if (targets == 0)
            value = CopyRedundancy::noBackup();
        else if (targets == 1)
            value = StatusManager::isSourceMissing(group.source, group.sourceBookmark, mounts) == true
                ? CopyRedundancy::onlyCopy()
                : CopyRedundancy::singleBackup();
        for (const QUuid& id : group.pairIds)
            result.insert_or_assign(id, value);
    }
    return result;
}

} // namespace larkfold
