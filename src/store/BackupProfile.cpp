#include "store/BackupProfile.h"

#include <initializer_list>

namespace larkfold {
namespace {

NameSet makeSet(std::initializer_list<const char*> items)
{
    NameSet set;
    for (const char* item : items)
        set.emplace(item);
    return set;
}

ProfileExclusions withSystemNames(std::initializer_list<const char*> names, std::initializer_list<const char*> extensions)
{
    ProfileExclusions result{makeSet(names), makeSet(extensions)};
    result.names.insert(systemExclusionNames().begin(), systemExclusionNames().end());
    return result;
}

} // namespace

const NameSet& systemExclusionNames()
{
    static const NameSet names = makeSet({".Spotlight-V100", ".Trashes", ".fseventsd", ".TemporaryItems",
                                          ".DocumentRevisions-V100", "lost+found"});
    return names;
}

bool isSystemExclusionName(std::string_view name)
{
    return systemExclusionNames().contains(name) || name.starts_with(kTrashFolderPrefix);
}

const NameSet& larkfoldMarkerFileNames()
{
    static const NameSet names{std::string(kCheckpointFileName), std::string(kHashesFileName),
                               std::string(kLastCheckFileName), std::string(kLockFileName)};
    return names;
}

const ProfileExclusions& exclusions(BackupProfile profile)
{
    static const ProfileExclusions plain = withSystemNames({}, {});
    static const ProfileExclusions film = withSystemNames(
        {"Render Files", "Audio Render Files", "Optimized Media", "Proxy Media", "Transcoded Media",
         "Common Cache Files", "Adobe Premiere Pro Auto-Save", "Adobe Premiere Pro Preview Files",
         "Adobe After Effects Auto-Save", "Adobe Audition Auto-Save", "Media Cache", "Media Cache Files",
         "CacheClip", "Optimized Clips"},
        {"pek", "cfa", "ims", "mpgindex", "tmp"});
    static const ProfileExclusions photography = withSystemNames(
        {"Previews.lrdata", "Smart Previews.lrdata", "Helper.lrdata", "Cache", "Proxies", "Thumbnails"}, {"lrdata"});
    static const ProfileExclusions music = withSystemNames({"Freeze Files", "Bounces", "Movie Files"}, {"asd"});
    static const ProfileExclusions developer = withSystemNames(
        {"node_modules", ".next", ".nuxt", ".turbo", ".vercel", "__pycache__", ".pytest_cache", ".mypy_cache", ".tox",
         "venv", ".venv", "env", ".env", ".gradle", "target", "vendor", "build", "dist", "out", "bin", "obj",
         "DerivedData", ".swiftpm", ".cache", ".turbo-cache", ".bundle", "tmp", "Pods"},
        {"pyc", "pyo", "o", "obj", "class", "swiftmodule", "swiftdoc", "dSYM", "log"});

    switch (profile) {
    case BackupProfile::standard:
    case BackupProfile::documents: return plain;
    case BackupProfile::film: return film;
    case BackupProfile::photography: return photography;
    case BackupProfile::music: return music;
    case BackupProfile::developer: return developer;
    }
    return plain;
}

} // namespace larkfold
