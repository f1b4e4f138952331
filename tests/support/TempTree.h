#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>

namespace larkfold::test {

// A temporary folder removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path& relative) const { return m_path / relative; }

private:
    std::filesystem::path m_path;
};

// A temporary tree built from (relative path, content) entries; a path ending in "/" is a folder.
//   TempTree tree{{"a.txt", "hello"}, {"sub/b.txt", ""}, {"empty/", ""}};
class TempTree {
public:
    using Entry = std::pair<std::string, std::string>;
    TempTree() = default;
    TempTree(std::initializer_list<Entry> entries);

    const std::filesystem::path& root() const { return m_dir.path(); }
    std::filesystem::path path(const std::filesystem::path& relative = {}) const;

    // Writes a file (making its folders); returns its path.
    std::filesystem::path write(const std::filesystem::path& relative, const std::string& content);
    std::filesystem::path mkdir(const std::filesystem::path& relative);
    std::filesystem::path symlink(const std::filesystem::path& relative, const std::filesystem::path& target);
    // Sets a file's modification time, in seconds since the epoch.
    void setMtime(const std::filesystem::path& relative, std::int64_t seconds, long nanoseconds = 0);

    std::string read(const std::filesystem::path& relative) const;
    bool exists(const std::filesystem::path& relative) const;

private:
    TempDir m_dir;
};

// Reads a whole file at an absolute path ("" when it cannot).
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);
// `count` small files in `folder` ("file0.txt", ...), enough for a quiet-mode run to last a while.
void writeFiles(const std::filesystem::path& folder, int count, const std::string& prefix = "file");
// Files below `folder`, the program's own hidden ones left out.
int countFiles(const std::filesystem::path& folder);

} // namespace larkfold::test
