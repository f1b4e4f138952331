#pragma once

// Project trees and archives on disk for the filing tests.

#include "platform/RunningApplications.h"
#include "support/QtPrinters.h"
#include "support/TempTree.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace larkfold::test {

// The day the filing window was opened, in the tests of its model and its view.
inline const QDate kToday(2026, 5, 1);
// Generous: a filing of a small tree takes well under a second.
inline constexpr int kFilingTimeoutMs = 30000;

// No editor is running, so the copy engine defers no file.
class NoApplications final : public platform::RunningApplications {
public:
    std::vector<platform::RunningApplication> list() override { return {}; }
};

// A finished project below `tree`: all six numbered folders, a file in "6 Finals" and a few more.
inline std::filesystem::path makeProject(TempTree& tree, const std::string& name)
{
    for (const char* folder : {"1 Documents/", "2 Project Files/", "3 Media/", "4 Renders/", "5 Drafts/", "6 Finals/"})
        tree.mkdir(name + "/" + folder);
    tree.write(name + "/1 Documents/brief.txt", "the brief");
    tree.write(name + "/3 Media/clip.mov", std::string(5000, 'm'));
    tree.write(name + "/6 Finals/final.mp4", std::string(3000, 'f'));
    return tree.path(name);
}

// The names in a folder, sorted; empty when it cannot be listed.
inline std::vector<std::string> namesIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every path below `folder` (a trailing "/" marks a folder, "@" a link), sorted: a picture of a
// tree to compare before and after.
inline std::vector<std::string> treeOf(const std::filesystem::path& folder)
{
    std::vector<std::string> paths;
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string path = it->path().lexically_relative(folder).string();
        if (it->is_symlink(error))
            path += '@';
        else if (it->is_directory(error))
            path += '/';
        paths.push_back(path);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace larkfold::test
