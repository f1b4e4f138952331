#include "copy/PackageTables.h"

#include "copy/FileNames.h"

namespace larkfold {

const NameSet& packageExtensions()
{
    static const NameSet extensions{"app",          "framework",    "bundle",    "kext",
                                    "xpc",          "appex",        "plugin",    "photoslibrary",
                                    "aplibrary",    "musiclibrary", "tvlibrary", "imovielibrary"};
    return extensions;
}

const NameSet& profilePackageExtensions(BackupProfile profile)
{
    static const NameSet none;
    static const NameSet film{"fcpbundle", "fcpevent", "fcpproject", "rcproject", "motn", "drp", "prproj"};
    static const NameSet photography{"lrcat", "lrlibrary", "cosessiondb", "cocatalog"};
    static const NameSet music{"logicx", "band", "ptx", "als"};
    switch (profile) {
    case BackupProfile::film: return film;
    case BackupProfile::photography: return photography;
    case BackupProfile::music: return music;
    case BackupProfile::standard:
    case BackupProfile::developer:
    case BackupProfile::documents: return none;
    }
    return none;
}

bool isPackageFolder(std::string_view folderName, BackupProfile profile)
{
    const std::string_view extension = pathExtension(folderName);
    if (extension.empty())
        return false;
    const std::string lowered = lowerCased(extension);
    return packageExtensions().contains(lowered) || profilePackageExtensions(profile).contains(lowered);
}

} // namespace larkfold
