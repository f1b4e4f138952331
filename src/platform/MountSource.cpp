#include "platform/MountSource.h"

#include <sys/sysmacros.h>

#include <algorithm>
#include <charconv>
#include <array>
#include <fstream>
#include <sstream>

namespace larkfold::platform {
namespace {

// File systems whose data lives on another machine.
constexpr std::array kNetworkTypes = {
    std::string_view("9p"),           std::string_view("afs"),          std::string_view("ceph"),
    std::string_view("cifs"),         std::string_view("coda"),         std::string_view("davfs"),
    std::string_view("fuse.ceph-fuse"), std::string_view("fuse.davfs"), std::string_view("fuse.glusterfs"),
    std::string_view("fuse.rclone"),  std::string_view("fuse.s3fs"),    std::string_view("fuse.sshfs"),
    std::string_view("glusterfs"),    std::string_view("lustre"),       std::string_view("ncpfs"),
    std::string_view("nfs"),          std::string_view("nfs4"),         std::string_view("smb3"),
    std::string_view("smbfs"),
};

// Undoes the kernel's octal escapes ("\040" for a space, "\134" for a backslash).
std::string decodeField(std::string_view field)
{
    const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) && isOctal(field[i + 2])
            && isOctal(field[i + 3])) {
            out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
            i += 3;
            continue;
        }
        out += field[i];
    }
    return out;
}

// Fields are separated by single spaces; an empty field (an empty source) stays in its place.
std::vector<std::string_view> splitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    for (;;) {
        const std::size_t end = line.find(' ', at);
        fields.push_back(line.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
        if (end == std::string_view::npos)
            return fields;
        at = end + 1;
    }
}

template <typename Number>
bool parseNumber(std::string_view text, Number& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// "major:minor" as one device number.
bool parseDevice(std::string_view text, std::uint64_t& device)
{
    const std::size_t colon = text.find(':');
    unsigned int major = 0;
    unsigned int minor = 0;
    if (colon == std::string_view::npos || !parseNumber(text.substr(0, colon), major)
        || !parseNumber(text.substr(colon + 1), minor))
        return false;
    device = makedev(major, minor);
    return true;
}

} // namespace

ProcMountSource::ProcMountSource(std::filesystem::path file) : m_file(std::move(file)) {}

std::vector<MountEntry> ProcMountSource::mounts() const
{
    std::ifstream in(m_file, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream text;
    text << in.rdbuf();
    return parseMountInfo(text.str());
}

std::vector<MountEntry> TextMountSource::mounts() const
{
    std::lock_guard lock(m_mutex);
    return parseMountInfo(m_text);
}

void TextMountSource::setText(std::string text)
{
    std::lock_guard lock(m_mutex);
    m_text = std::move(text);
}

MountSource& systemMountSource()
{
    static ProcMountSource source;
    return source;
}

std::vector<MountEntry> parseMountInfo(std::string_view text)
{
    // id parent major:minor root mount-point options [optional fields...] - type source super-options
    std::vector<MountEntry> entries;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const auto fields = splitFields(text.substr(at, end - at));
        at = end + 1;
        const auto separator = std::find(fields.begin(), fields.end(), std::string_view("-"));
        if (fields.size() < 6 || separator == fields.end() || separator - fields.begin() < 6
            || fields.end() - separator < 2)
            continue;
        MountEntry entry;
        if (!parseNumber(fields[0], entry.mountId) || !parseDevice(fields[2], entry.device))
            continue;
        entry.mountPoint = decodeField(fields[4]);
        entry.fileSystemType = decodeField(*(separator + 1));
        if (fields.end() - separator >= 3)
            entry.source = decodeField(*(separator + 2));
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool isNetworkFileSystemType(std::string_view type)
{
    return std::find(kNetworkTypes.begin(), kNetworkTypes.end(), type) != kNetworkTypes.end();
}

bool mountPointHolds(std::string_view mountPoint, std::string_view path)
{
    if (mountPoint.empty() || path.size() < mountPoint.size() || path.compare(0, mountPoint.size(), mountPoint) != 0)
        return false;
    if (path.size() == mountPoint.size() || mountPoint.back() == '/')
        return true;
    return path[mountPoint.size()] == '/';
}

} // namespace larkfold::platform
