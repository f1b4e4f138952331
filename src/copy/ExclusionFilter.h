#pragma once

#include "store/BackupProfile.h"

#include <string>
#include <string_view>
#include <vector>

namespace larkfold {

// Decides, one name at a time, whether a file or folder is left out of a backup. Looks only at
// the entry's own name, so a rule applies at every depth. Immutable; may be used from any thread.
class ExclusionFilter {
public:
    // excludedNames: exact, case-sensitive names of files and folders.
    // excludedFilePatterns: file names only, case-insensitive, "*" the only wildcard.
    // excludedExtensions: file extensions without the dot, compared with the file's in lower case.
    // profile: not read by the decision; the scans take its package extensions.
    // excludedNamePrefixes: files and folders whose name begins with one of these.
    ExclusionFilter(NameSet excludedNames, NameSet excludedFilePatterns, NameSet excludedExtensions,
                    BackupProfile profile, std::vector<std::string> excludedNamePrefixes = {});

    // The filter a run, the offsite copy and project filing use for a profile: the default names
    // and the profile's, the default patterns, the profile's extensions, and the system folders
    // matched by prefix (a drive's ".Trash-1000").
    static ExclusionFilter forProfile(BackupProfile profile);

    // Version-control, dependency and cache folders, desktop litter and the program's own trash.
    static const NameSet& defaultExcludedNames();
    static const NameSet& defaultExcludedPatterns();

    // True when the entry is left out. Patterns and extensions never exclude a folder.
    bool shouldExclude(std::string_view name, bool isDirectory) const;

    // The pattern test: without "*", equality regardless of case; with "*", the pattern's parts in
    // order, each at its first occurrence after the previous one (no backtracking), the first
    // anchored at the start unless the pattern begins with "*", the last at the end unless it ends with "*".
    static bool matches(std::string_view name, std::string_view pattern);

    const NameSet& excludedNames() const { return m_names; }
    const NameSet& excludedFilePatterns() const { return m_patterns; }
    const NameSet& excludedExtensions() const { return m_extensions; }
    BackupProfile profile() const { return m_profile; }
    const std::vector<std::string>& excludedNamePrefixes() const { return m_prefixes; }

private:
    NameSet m_names;
    NameSet m_patterns;
    NameSet m_extensions;
    BackupProfile m_profile;
    std::vector<std::string> m_prefixes;
    std::vector<std::string> m_loweredPatterns;
};

} // namespace larkfold
