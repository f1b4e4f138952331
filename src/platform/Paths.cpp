#include "platform/Paths.h"

#include <QByteArray>
#include <QUrl>

#include <cstdlib>
#include <string>

#include <pwd.h>
#include <unistd.h>

namespace larkfold::platform {

namespace fs = std::filesystem;

fs::path standardized(const fs::path& path)
{
    std::error_code error;
    fs::path result = fs::absolute(path, error).lexically_normal();
    if (result.has_relative_path() && !result.has_filename())
        result = result.parent_path();
    return result;
}

fs::path canonicalPath(const fs::path& path)
{
    const fs::path standard = standardized(path);
    std::error_code error;
    const fs::path result = fs::weakly_canonical(standard, error);
    return error ? standard : standardized(result);
}

fs::path homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return standardized(home);
    if (const passwd* user = ::getpwuid(::geteuid()); user && user->pw_dir && user->pw_dir[0] == '/')
        return standardized(user->pw_dir);
    return "/";
}

std::optional<fs::path> localPathOfUrl(const QUrl& url)
{
    if (!url.isLocalFile() || (!url.host().isEmpty() && url.host() != QLatin1String("localhost")))
        return std::nullopt;
    // Decoded to text, the bytes of a name that is not UTF-8 would become replacement characters.
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (bytes.isEmpty() || bytes.front() != '/')
        return std::nullopt;
    return fs::path(bytes.toStdString());
}

fs::path lastPathComponent(const fs::path& path)
{
    return path.has_filename() ? path.filename() : path.parent_path().filename();
}

bool isBelow(const fs::path& inner, const fs::path& outer)
{
    std::string prefix = outer.native();
    if (prefix.empty() || prefix.back() != '/')
        prefix.push_back('/');
    return inner.native().size() > prefix.size() && inner.native().starts_with(prefix);
}

bool isSameOrBelow(const fs::path& inner, const fs::path& outer)
{
    return inner.native() == outer.native() || isBelow(inner, outer);
}

bool areNested(const fs::path& a, const fs::path& b)
{
    const fs::path first = canonicalPath(a);
    const fs::path second = canonicalPath(b);
    return isSameOrBelow(first, second) || isSameOrBelow(second, first);
}

} // namespace larkfold::platform
