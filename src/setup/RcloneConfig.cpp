#include "setup/RcloneConfig.h"

#include <array>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string_view>

namespace larkfold {
namespace {

namespace fs = std::filesystem;

using Section = std::map<std::string, std::string, std::less<>>;
using Sections = std::map<std::string, Section, std::less<>>;

// Backends whose remote stores its files in another remote, named by their "remote" option.
constexpr std::array<std::string_view, 6> kWrappingBackends = {"alias", "cache", "chunker", "compress", "crypt",
                                                               "hasher"};
// A loop of wrappers in a hand-edited file ends here.
constexpr int kMostWrappers = 8;

std::string_view trimmed(std::string_view text)
{
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

// The INI-style sections of the file; an encrypted file has none that can be read.
Sections readSections(const fs::path& file)
{
    Sections sections;
    std::ifstream in(file);
    std::string line;
    Section* current = nullptr;
    while (std::getline(in, line)) {
        const std::string_view text = trimmed(line);
        if (text.empty() || text.front() == '#' || text.front() == ';')
            continue;
        if (text.front() == '[' && text.back() == ']') {
            current = &sections[std::string(trimmed(text.substr(1, text.size() - 2)))];
            continue;
        }
        const auto equals = text.find('=');
        if (current && equals != std::string_view::npos)
            (*current)[std::string(trimmed(text.substr(0, equals)))] = std::string(trimmed(text.substr(equals + 1)));
    }
    return sections;
}

struct RemoteName {
    std::string name;   // the configured remote's name; empty for a backend named on the spot
    std::string backend; // the backend of ":backend,...:" remotes
};

RemoteName parseRemote(std::string_view remote)
{
    if (remote.starts_with(':')) {
        remote.remove_prefix(1);
        return {{}, std::string(remote.substr(0, remote.find_first_of(",:")))};
    }
    std::string_view name = remote.substr(0, remote.find(':'));
    // rclone marks a remote whose options were overridden on the command line: "name{a1b2c}".
    if (const auto brace = name.find('{'); brace != std::string_view::npos && name.ends_with('}'))
        name = name.substr(0, brace);
    return {std::string(name), {}};
}

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

fs::path RcloneConfig::defaultFile(const fs::path& home)
{
    if (const fs::path configured = variable("RCLONE_CONFIG"); configured.is_absolute())
        return configured;
    const fs::path configHome = variable("XDG_CONFIG_HOME");
    const fs::path current = (configHome.is_absolute() ? configHome : home / ".config") / "rclone" / "rclone.conf";
    std::error_code error;
    // Old versions kept it in the home folder; rclone still reads it there when the new one is missing.
    if (const fs::path old = home / ".rclone.conf"; !fs::exists(current, error) && fs::exists(old, error))
        return old;
    return current;
}

std::optional<RcloneConfig::Backend> RcloneConfig::backendOf(const std::string& remote, const fs::path& file)
{
    RemoteName next = parseRemote(remote);
    const Sections sections = readSections(file);
    for (int hop = 0; hop <= kMostWrappers; ++hop) {
        if (!next.backend.empty())
            return Backend{next.backend, {}};
        const auto section = sections.find(next.name);
        if (section == sections.end())
            return std::nullopt;
        const auto value = [&](std::string_view key) {
            const auto found = section->second.find(key);
            return found == section->second.end() ? std::string() : found->second;
        };
        const std::string type = value("type");
        if (type.empty())
            return std::nullopt;
        bool wraps = false;
        for (const std::string_view wrapping : kWrappingBackends)
            wraps = wraps || type == wrapping;
        if (!wraps)
            return Backend{type, value("vendor")};
        if (value("remote").empty())
            return std::nullopt;
        next = parseRemote(value("remote"));
    }
    return std::nullopt;
}

} // namespace larkfold
