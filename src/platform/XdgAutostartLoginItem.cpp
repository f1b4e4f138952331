#include "platform/XdgAutostartLoginItem.h"

#include "platform/AppIdentity.h"
#include "platform/AtomicFile.h"
#include "platform/Utf8.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <string_view>
#include <system_error>

namespace larkfold::platform {
namespace {

constexpr std::string_view kGroupHeader = "[Desktop Entry]";
constexpr std::string_view kDeletedSuffix = " (deleted)";
// Characters that make the Desktop Entry Specification ask for an argument in quotes.
constexpr std::string_view kReservedCharacters = " \t\n\"'\\><~|&;$*?#`()";

// The Exec value that runs `program` with no arguments: quoted where it must be, with "%" doubled
// (a field code otherwise), then with the value's own escaping of backslashes.
std::optional<std::string> execValue(const std::string& program)
{
    for (const char c : program)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return std::nullopt;
    if (!decodeUtf8(program))
        return std::nullopt; // a desktop entry is UTF-8 text
    const bool quote = program.find_first_of(kReservedCharacters) != std::string::npos;
    std::string argument;
    for (const char c : program) {
        if (c == '%')
            argument += '%';
        else if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            argument += '\\';
        argument += c;
    }
    if (quote)
        argument = '"' + argument + '"';
    std::string value;
    for (const char c : argument) {
        if (c == '\\')
            value += '\\';
        value += c;
    }
    return value;
}

// The program an Exec value runs, undoing what execValue() does; none when it is malformed.
std::optional<std::string> execProgram(std::string_view value)
{
    std::string unescaped;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            unescaped += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's': unescaped += ' '; break;
        case 'n': unescaped += '\n'; break;
        case 't': unescaped += '\t'; break;
        case 'r': unescaped += '\r'; break;
        default: unescaped += value[i]; break;
        }
    }
    std::string program;
    std::size_t i = 0;
    if (!unescaped.empty() && unescaped[0] == '"') {
        for (i = 1; i < unescaped.size() && unescaped[i] != '"'; ++i) {
            if (unescaped[i] == '\\' && i + 1 < unescaped.size())
                ++i;
            program += unescaped[i];
        }
        if (i == unescaped.size())
            return std::nullopt; // no closing quote
    } else {
        program = unescaped.substr(0, unescaped.find_first_of(" \t"));
    }
    std::string literal;
    for (std::size_t j = 0; j < program.size(); ++j) {
        literal += program[j];
        if (program[j] == '%' && j + 1 < program.size() && program[j + 1] == '%')
            ++j;
    }
    return literal;
}

std::string_view trimmed(std::string_view text)
{
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos)
        return {};
    const auto end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

QString systemErrorText(const std::error_code& error)
{
    return QString::fromLocal8Bit(error.message());
}

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(std::filesystem::path executable, std::filesystem::path autostartFolder)
    : m_executable(std::move(executable))
    , m_entryPath(std::move(autostartFolder) / kFileName)
{
}

std::filesystem::path XdgAutostartLoginItem::runningExecutable()
{
    std::error_code error;
    std::string path = std::filesystem::read_symlink("/proc/self/exe", error).string();
    if (error || path.empty())
        return QCoreApplication::applicationFilePath().toStdString();
    // Replaced by an update while running: the new program under the same name is the one to start.
    if (path.ends_with(kDeletedSuffix))
        path.resize(path.size() - kDeletedSuffix.size());
    return path;
}

std::filesystem::path XdgAutostartLoginItem::defaultAutostartFolder()
{
    // The base directory specification ignores a relative XDG_CONFIG_HOME.
    const std::filesystem::path configured = qEnvironmentVariable("XDG_CONFIG_HOME").toStdString();
    const std::filesystem::path config =
        configured.is_absolute() ? configured : std::filesystem::path(QDir::homePath().toStdString()) / ".config";
    return config / "autostart";
}

std::optional<std::string> XdgAutostartLoginItem::entryText(const std::filesystem::path& executable)
{
    if (!executable.is_absolute())
        return std::nullopt;
    const auto exec = execValue(executable.string());
    if (!exec)
        return std::nullopt;
    // The installed desktop entry names the program for a PATH lookup; a login item starts this one.
    QFile installed(QStringLiteral(":/applications/%1.desktop").arg(QString::fromLatin1(kApplicationId)));
    if (!installed.open(QIODevice::ReadOnly))
        return std::nullopt;
    const std::string bytes = installed.readAll().toStdString();
    std::string text;
    std::string_view rest = bytes;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        text += line.starts_with("Exec=") ? "Exec=" + *exec : std::string(line);
        text += '\n';
    }
    return text + "X-GNOME-Autostart-enabled=true\n";
}

LoginItem::Status XdgAutostartLoginItem::status() const
{
    std::string bytes;
    QString error;
    int errorNumber = 0;
    if (!readWholeFile(m_entryPath, bytes, error, &errorNumber))
        return errorNumber == ENOENT || errorNumber == ENOTDIR ? Status::notRegistered : Status::other;

    bool inGroup = false;
    std::optional<std::string> program;
    bool switchedOff = false;
    std::string_view rest = bytes;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        const std::string_view line = trimmed(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (line.starts_with('[')) {
            inGroup = line == kGroupHeader;
            continue;
        }
        const auto equals = line.find('=');
        if (!inGroup || line.starts_with('#') || equals == std::string_view::npos)
            continue;
        const std::string_view key = trimmed(line.substr(0, equals));
        const std::string_view value = trimmed(line.substr(equals + 1));
        if (key == "Exec")
            program = execProgram(value);
        else if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false"))
            switchedOff = true;
    }
    return program == m_executable.string() && !switchedOff ? Status::enabled : Status::other;
}

QString XdgAutostartLoginItem::registerItem()
{
    const auto text = entryText(m_executable);
    if (!text)
        return QStringLiteral("The program's path cannot be written into an autostart entry");
    std::error_code error;
    std::filesystem::create_directories(m_entryPath.parent_path(), error);
    if (error)
        return QStringLiteral("Cannot create the autostart folder: %1").arg(systemErrorText(error));
    const QString writeError = writeFileAtomically(m_entryPath, *text);
    if (!writeError.isEmpty())
        return QStringLiteral("Cannot write the autostart entry: %1").arg(writeError);
    return {};
}

QString XdgAutostartLoginItem::unregisterItem()
{
    std::error_code error;
    std::filesystem::remove(m_entryPath, error);
    // A folder that is not one cannot hold the entry either.
    if (error && error != std::errc::not_a_directory)
        return QStringLiteral("Cannot remove the autostart entry: %1").arg(systemErrorText(error));
    return {};
}

} // namespace larkfold::platform
