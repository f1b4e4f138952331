#include "support/TempTree.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace larkfold::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "lark-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        std::abort();
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Restore permissions a test may have taken away, so everything can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(
             m_path, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            ::chmod(it->path().c_str(), 0755);
    }
    ::chmod(m_path.c_str(), 0755);
    std::filesystem::remove_all(m_path, ec);
}

TempTree::TempTree(std::initializer_list<Entry> entries)
{
    for (const auto& [relative, content] : entries) {
        if (!relative.empty() && relative.back() == '/')
            mkdir(relative);
        else
            write(relative, content);
    }
}

std::filesystem::path TempTree::path(const std::filesystem::path& relative) const
{
    return relative.empty() ? m_dir.path() : m_dir.path() / relative;
}

std::filesystem::path TempTree::write(const std::filesystem::path& relative, const std::string& content)
{
    const auto full = path(relative);
    std::filesystem::create_directories(full.parent_path());
    writeFile(full, content);
    return full;
}

std::filesystem::path TempTree::mkdir(const std::filesystem::path& relative)
{
    const auto full = path(relative);
    std::filesystem::create_directories(full);
    return full;
}

std::filesystem::path TempTree::symlink(const std::filesystem::path& relative, const std::filesystem::path& target)
{
    const auto full = path(relative);
    std::filesystem::create_directories(full.parent_path());
    std::filesystem::create_symlink(target, full);
    return full;
}

void TempTree::setMtime(const std::filesystem::path& relative, std::int64_t seconds, long nanoseconds)
{
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ::utimensat(AT_FDCWD, path(relative).c_str(), times, AT_SYMLINK_NOFOLLOW);
}

std::string TempTree::read(const std::filesystem::path& relative) const
{
    return readFile(path(relative));
}

bool TempTree::exists(const std::filesystem::path& relative) const
{
    std::error_code ec;
    return std::filesystem::symlink_status(path(relative), ec).type() != std::filesystem::file_type::not_found
        && !ec;
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::filesystem::path& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

void writeFiles(const std::filesystem::path& folder, int count, const std::string& prefix)
{
    std::filesystem::create_directories(folder);
    for (int i = 0; i < count; ++i)
        writeFile(folder / (prefix + std::to_string(i) + ".txt"), "content " + std::to_string(i));
}

int countFiles(const std::filesystem::path& folder)
{
    int count = 0;
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error))
        if (it->is_regular_file() && !it->path().filename().string().starts_with('.'))
            ++count;
    return count;
}

} // namespace larkfold::test
