#include "copy/ExclusionFilter.h"

#include "copy/FileNames.h"

namespace larkfold {
namespace {

// `loweredName` and `loweredPattern` are both lower case already.
bool matchesLowered(std::string_view loweredName, std::string_view loweredPattern)
{
    if (loweredPattern.find('*') == std::string_view::npos)
        return loweredName == loweredPattern;

    const bool anchoredStart = loweredPattern.front() != '*';
    const bool anchoredEnd = loweredPattern.back() != '*';
    std::size_t cursor = 0;
    std::size_t partStart = 0;
    for (std::size_t index = 0;; ++index) {
        const std::size_t star = loweredPattern.find('*', partStart);
        const bool last = star == std::string_view::npos;
        const std::string_view part =
            loweredPattern.substr(partStart, last ? std::string_view::npos : star - partStart);
        if (!part.empty()) {
            const std::size_t found = loweredName.find(part, cursor);
            if (found == std::string_view::npos)
                return false;
            if (index == 0 && anchoredStart && found != 0)
                return false;
            if (last && anchoredEnd && found + part.size() != loweredName.size())
                return false;
            cursor = found + part.size();
        }
        if (last)
            return true;
        partStart = star + 1;
    }
}

} // namespace

ExclusionFilter::ExclusionFilter(NameSet excludedNames, NameSet excludedFilePatterns, NameSet excludedExtensions,
                                 BackupProfile profile, std::vector<std::string> excludedNamePrefixes)
    : m_names(std::move(excludedNames))
    , m_patterns(std::move(excludedFilePatterns))
    , m_extensions(std::move(excludedExtensions))
    , m_profile(profile)
    , m_prefixes(std::move(excludedNamePrefixes))
{
    for (const std::string& pattern : m_patterns)
        m_loweredPatterns.push_back(lowerCased(pattern));
}

ExclusionFilter ExclusionFilter::forProfile(BackupProfile profile)
{
    const ProfileExclusions& sets = exclusions(profile);
    NameSet names = defaultExcludedNames();
    names.insert(sets.names.begin(), sets.names.end());
    return ExclusionFilter(std::move(names), defaultExcludedPatterns(), sets.extensions, profile,
                           {std::string(kTrashFolderPrefix)});
}

const NameSet& ExclusionFilter::defaultExcludedNames()
{
    static const NameSet names{".git",        ".svn",          ".hg",         "node_modules",     ".npm",
                               ".yarn",       "DerivedData",   "build",       "Build",            "Pods",
                               ".cocoapods",  ".DS_Store",     ".Spotlight-V100", ".Trashes",     ".fseventsd",
                               "__pycache__", ".pytest_cache", ".mypy_cache", ".env.local",       ".Larkfold-Trash"};
    return names;
}

const NameSet& ExclusionFilter::defaultExcludedPatterns()
{
    static const NameSet patterns{"*.xcuserstate", ".env.*.local", "Thumbs.db", "desktop.ini"};
    return patterns;
}

bool ExclusionFilter::shouldExclude(std::string_view name, bool isDirectory) const
{
    if (m_names.contains(name))
        return true;
    for (const std::string& prefix : m_prefixes) {
        if (name.starts_with(prefix))
            return true;
    }
    if (isDirectory)
        return false;
    if (!m_loweredPatterns.empty()) {
        const std::string loweredName = lowerCased(name);
        for (const std::string& pattern : m_loweredPatterns) {
            if (matchesLowered(loweredName, pattern))
                return true;
        }
    }
    const std::string_view extension = pathExtension(name);
    return !extension.empty() && m_extensions.contains(lowerCased(extension));
}

bool ExclusionFilter::matches(std::string_view name, std::string_view pattern)
{
    return matchesLowered(lowerCased(name), lowerCased(pattern));
}

} // namespace larkfold
