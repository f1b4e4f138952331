#include "copy/ProfileRecommender.h"

#include "copy/FileNames.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <set>
#include <string_view>

namespace larkfold {

namespace {

constexpr double kTopLevelWeight = 20.0;
constexpr double kNestedWeight = 12.0;
constexpr double kPackageHitScore = 40.0;
constexpr double kFolderThreshold = 20.0;
constexpr double kFilesThreshold = 40.0;
constexpr double kShareBonusCap = 25.0;

using Table = std::map<std::string, BackupProfile, std::less<>>;

const Table& packageExtensionProfiles()
{
    static const Table table{
        {"fcpbundle", BackupProfile::film},         {"fcpevent", BackupProfile::film},
        {"fcpproject", BackupProfile::film},        {"logicx", BackupProfile::music},
        {"band", BackupProfile::music},             {"photoslibrary", BackupProfile::photography},
        {"aplibrary", BackupProfile::photography},  {"lrlibrary", BackupProfile::photography},
    };
    return table;
}

const Table& profileFolderNames()
{
    static const Table table{
        {"Render Files", BackupProfile::film},
        {"Optimized Media", BackupProfile::film},
        {"Proxy Media", BackupProfile::film},
        {"Adobe Premiere Pro Auto-Save", BackupProfile::film},
        {"Media Cache", BackupProfile::film},
        {"CacheClip", BackupProfile::film},
        {"Previews.lrdata", BackupProfile::photography},
        {"Smart Previews.lrdata", BackupProfile::photography},
        {"Freeze Files", BackupProfile::music},
        {"node_modules", BackupProfile::developer},
        {".git", BackupProfile::developer},
        {"DerivedData", BackupProfile::developer},
        {"Pods", BackupProfile::developer},
        {"__pycache__", BackupProfile::developer},
        {".gradle", BackupProfile::developer},
        {".swiftpm", BackupProfile::developer},
        {"target", BackupProfile::developer},
        {"vendor", BackupProfile::developer},
    };
    return table;
}

const Table& developerMarkerFiles()
{
    static const Table table = [] {
        Table markers;
        for (const char* name : {"Package.swift", "Podfile", "package.json", "yarn.lock", "pnpm-lock.yaml",
                                 "pyproject.toml", "requirements.txt", "Pipfile", "Cargo.toml", "go.mod", "pom.xml",
                                 "build.gradle", "build.gradle.kts", "Gemfile", "Makefile", "CMakeLists.txt"})
            markers.emplace(name, BackupProfile::developer);
        return markers;
    }();
    return table;
}

const std::set<std::string, std::less<>>& developerBundleExtensions()
{
    static const std::set<std::string, std::less<>> extensions{"xcodeproj", "xcworkspace", "playground"};
    return extensions;
}

// The extension sets of the byte count, in the order they are tried.
struct MediaSet {
    std::set<std::string, std::less<>> extensions;
    BackupProfile profile;
    bool countsHalf;
};

const std::vector<MediaSet>& mediaSets()
{
    static const std::vector<MediaSet> sets{
        {{"mov", "mp4", "m4v", "mkv", "avi", "wmv", "mxf", "r3d", "braw", "ari", "arw", "raw", "dpx", "exr", "tiff",
          "tif", "prores", "dnxhd", "dnxhr"},
         BackupProfile::film, false},
        {{"cr2", "cr3", "nef", "nrw", "arw", "raf", "rw2", "orf", "dng", "pef", "srw", "x3f", "iiq", "3fr"},
         BackupProfile::photography, false},
        {{"jpg", "jpeg", "heic", "heif", "png", "psd", "psb", "tiff", "tif"}, BackupProfile::photography, true},
        {{"wav", "aif", "aiff", "flac", "alac", "caf", "mp3", "m4a", "ogg", "opus"}, BackupProfile::music, false},
        {{"swift", "m",    "h",    "mm",    "c",    "cpp",  "cc",    "hpp",  "js",   "jsx",  "ts",   "tsx",
          "vue",   "svelte", "py", "rb",    "go",   "rs",   "java",  "kt",   "scala", "clj", "php",  "lua",
          "pl",    "sh",   "bash", "zsh",   "json", "yaml", "yml",   "toml", "xml",  "gradle", "podspec", "lock"},
         BackupProfile::developer, false},
        {{"pdf", "doc", "docx", "rtf", "rtfd", "txt", "md", "pages", "numbers", "key", "xls", "xlsx", "ppt", "pptx",
          "odt", "ods", "odp"},
         BackupProfile::documents, false},
    };
    return sets;
}

std::string lowercasedExtension(std::string_view name)
{
    return lowerCased(pathExtension(name));
}

BackupProfile bestProfile(const ProfileScores& scores, double threshold)
{
    std::optional<std::pair<BackupProfile, double>> best;
    for (const auto& [profile, score] : scores)
        if (!best || score > best->second)
            best = {profile, score};
    return best && best->second >= threshold ? best->first : BackupProfile::standard;
}

double shareBonus(double share)
{
    // In this order, so the bonus is exactly 20.0 at a share of 0.65.
    double t = share - 0.5;
    t = t + t;
    t = t + 0.5;
    t = t * kShareBonusCap;
    return std::min(t, kShareBonusCap);
}

} // namespace

std::optional<std::vector<FolderListingEntry>> listFolder(const std::filesystem::path& folder)
{
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec)
        return std::nullopt;
    std::vector<FolderListingEntry> entries;
    for (const std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
        std::error_code statusError;
        const auto type = it->symlink_status(statusError).type();
        entries.push_back({it->path().filename().native(), !statusError && type == std::filesystem::file_type::directory});
        if (ec)
            break;
    }
    return entries;
}

std::optional<std::int64_t> regularFileSize(const std::filesystem::path& file)
{
    struct stat status {};
    if (::lstat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return static_cast<std::int64_t>(status.st_size);
}

void scoreFolder(const std::filesystem::path& folder, bool nested, const FolderLister& lister, ProfileScores& scores,
                 int descentLimit)
{
    const auto entries = lister(folder);
    if (!entries)
        return;
    const double weight = nested ? kNestedWeight : kTopLevelWeight;
    int descents = 0;
    for (const FolderListingEntry& entry : *entries) {
        if (entry.isDirectory) {
            if (const auto hit = profileFolderNames().find(entry.name); hit != profileFolderNames().end())
                scores[hit->second] += weight;
            if (developerBundleExtensions().contains(lowercasedExtension(entry.name)))
                scores[BackupProfile::developer] += weight;
            // Every sub-folder counts toward the limit, matched or not.
            if (!nested && descents < descentLimit) {
                scoreFolder(folder / entry.name, true, lister, scores, descentLimit);
                ++descents;
            }
        } else if (const auto marker = developerMarkerFiles().find(entry.name); marker != developerMarkerFiles().end()) {
            scores[marker->second] += weight;
        }
    }
}

BackupProfile recommendProfileForFolder(const std::filesystem::path& folder, const FolderLister& lister)
{
    ProfileScores scores;
    scoreFolder(folder, false, lister, scores);
    return bestProfile(scores, kFolderThreshold);
}

BackupProfile recommendProfileForFiles(const std::vector<std::filesystem::path>& entries,
                                       const std::filesystem::path& folder, const FolderLister& lister,
                                       const FileSizeReader& sizeOf)
{
    if (entries.empty())
        return BackupProfile::standard;

    ProfileScores scores;
    std::set<BackupProfile> evidence;
    for (const auto& entry : entries) {
        const auto hit = packageExtensionProfiles().find(lowercasedExtension(entry.filename().native()));
        if (hit != packageExtensionProfiles().end()) {
            scores[hit->second] += kPackageHitScore;
            evidence.insert(hit->second);
        }
    }

    ProfileScores structure;
    scoreFolder(folder, false, lister, structure);
    for (const auto& [profile, score] : structure) {
        if (score > 0.0) {
            scores[profile] += score;
            evidence.insert(profile);
        }
    }

    std::int64_t total = 0;
    std::map<BackupProfile, std::int64_t> bytes;
    for (const auto& entry : entries) {
        const auto size = sizeOf(entry);
        if (!size || *size < 1)
            continue;
        total += *size;
        const std::string extension = lowercasedExtension(entry.filename().native());
        for (const MediaSet& set : mediaSets()) {
            if (set.extensions.contains(extension)) {
                bytes[set.profile] += set.countsHalf ? *size / 2 : *size;
                break;
            }
        }
    }

    if (total >= 1) {
        for (const auto& [profile, count] : bytes) {
            const double share = static_cast<double>(count) / static_cast<double>(total);
            // Once a structure points somewhere, bytes only back that up.
            if (share >= 0.5 && (evidence.empty() || evidence.contains(profile)))
                scores[profile] += shareBonus(share);
        }
    }
    return bestProfile(scores, kFilesThreshold);
}

} // namespace larkfold
