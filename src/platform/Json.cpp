#include "platform/Json.h"

#include <QTimeZone>

#include <regex>

namespace larkfold::platform {
namespace {

constexpr int kIndentSpaces = 2;

// "/" appears in JSON text only inside strings, so escaping it afterwards is exact.
std::string escapeSlashes(std::string text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '/')
            out += "\\/";
        else
            out += c;
    }
    return out;
}

bool isUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~' || c == '/';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

[[noreturn]] void fail(const char* key, const char* what)
{
    throw JsonDecodeError(std::string("\"") + key + "\": " + what);
}

} // namespace

std::string encodeJsonPretty(const Json& value)
{
    return escapeSlashes(value.dump(kIndentSpaces));
}

std::string encodeJsonCompact(const Json& value)
{
    return escapeSlashes(value.dump());
}

Json parseJson(std::string_view bytes)
{
    try {
        return Json::parse(bytes.begin(), bytes.end());
    } catch (const Json::exception& error) {
        throw JsonDecodeError(error.what());
    }
}

std::string encodeDate(const QDateTime& date)
{
    return date.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")).toStdString();
}

std::optional<QDateTime> decodeDate(std::string_view text)
{
    static const std::regex form(R"(^(\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})Z$)");
    const std::string s(text);
    std::smatch m;
    if (!std::regex_match(s, m, form))
        return std::nullopt;
    auto part = [&](int i) { return std::stoi(m[i].str()); };
    const QDate day(part(1), part(2), part(3));
    const QTime time(part(4), part(5), part(6));
    if (!day.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(day, time, QTimeZone::utc());
}

std::string encodeUuid(const QUuid& uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper().toStdString();
}

std::optional<QUuid> decodeUuid(std::string_view text)
{
    static const std::regex form(R"(^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$)");
    const std::string s(text);
    if (!std::regex_match(s, form))
        return std::nullopt;
    const QUuid uuid = QUuid::fromString(QString::fromStdString(s));
    if (uuid.isNull() && s != "00000000-0000-0000-0000-000000000000")
        return std::nullopt;
    return uuid;
}

std::string encodeBase64(const QByteArray& bytes)
{
    return bytes.toBase64().toStdString();
}

std::optional<QByteArray> decodeBase64(std::string_view text)
{
    const auto result = QByteArray::fromBase64Encoding(QByteArray(text.data(), qsizetype(text.size())),
                                                       QByteArray::AbortOnBase64DecodingErrors);
    if (!result)
        return std::nullopt;
    return *result;
}

std::string encodeFileUrl(const std::filesystem::path& path, bool isDirectory)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path.native()) {
        if (isUnreserved(c)) {
            url += char(c);
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 0xF];
        }
    }
    if (isDirectory && (url.empty() || url.back() != '/'))
        url += '/';
    return url;
}

std::optional<std::filesystem::path> decodeFileUrl(std::string_view url)
{
    constexpr std::string_view scheme = "file://";
    if (url.substr(0, scheme.size()) != scheme)
        return std::nullopt;
    std::string_view rest = url.substr(scheme.size());
    // An authority other than empty or "localhost" names another machine.
    if (rest.substr(0, 9) == "localhost")
        rest.remove_prefix(9);
    if (rest.empty() || rest.front() != '/')
        return std::nullopt;
    std::string bytes;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%') {
            if (i + 2 >= rest.size())
                return std::nullopt;
            const int hi = hexValue(rest[i + 1]);
            const int lo = hexValue(rest[i + 2]);
            if (hi < 0 || lo < 0)
                return std::nullopt;
            const char byte = char(hi * 16 + lo);
            if (byte == '\0')
                return std::nullopt;
            bytes += byte;
            i += 2;
        } else {
            bytes += rest[i];
        }
    }
    while (bytes.size() > 1 && bytes.back() == '/')
        bytes.pop_back();
    return std::filesystem::path(bytes);
}

namespace json {

const Json& member(const Json& object, const char* key)
{
    if (!object.is_object())
        throw JsonDecodeError("expected an object");
    const auto it = object.find(key);
    if (it == object.end())
        fail(key, "missing");
    return *it;
}

bool hasValue(const Json& object, const char* key)
{
    if (!object.is_object())
        throw JsonDecodeError("expected an object");
    const auto it = object.find(key);
    return it != object.end() && !it->is_null();
}

std::string requireString(const Json& object, const char* key)
{
    const Json& v = member(object, key);
    if (!v.is_string())
        fail(key, "expected a string");
    return v.get<std::string>();
}

bool requireBool(const Json& object, const char* key)
{
    const Json& v = member(object, key);
    if (!v.is_boolean())
        fail(key, "expected true or false");
    return v.get<bool>();
}

std::int64_t requireInt(const Json& object, const char* key)
{
    const Json& v = member(object, key);
    if (v.is_number_integer())
        return v.get<std::int64_t>();
    fail(key, "expected an integer");
}

double requireDouble(const Json& object, const char* key)
{
    const Json& v = member(object, key);
    if (!v.is_number())
        fail(key, "expected a number");
    return v.get<double>();
}

QDateTime requireDate(const Json& object, const char* key)
{
    const auto date = decodeDate(requireString(object, key));
    if (!date)
        fail(key, "expected an ISO 8601 date in whole seconds");
    return *date;
}

QUuid requireUuid(const Json& object, const char* key)
{
    const auto uuid = decodeUuid(requireString(object, key));
    if (!uuid)
        fail(key, "expected a UUID");
    return *uuid;
}

QByteArray requireBase64(const Json& object, const char* key)
{
    const auto bytes = decodeBase64(requireString(object, key));
    if (!bytes)
        fail(key, "expected Base64 data");
    return *bytes;
}

std::filesystem::path requireFileUrl(const Json& object, const char* key)
{
    const auto path = decodeFileUrl(requireString(object, key));
    if (!path)
        fail(key, "expected a file URL");
    return *path;
}

std::optional<std::string> optionalString(const Json& object, const char* key)
{
    return hasValue(object, key) ? std::optional(requireString(object, key)) : std::nullopt;
}

std::optional<bool> optionalBool(const Json& object, const char* key)
{
    return hasValue(object, key) ? std::optional(requireBool(object, key)) : std::nullopt;
}

std::optional<std::int64_t> optionalInt(const Json& object, const char* key)
{
    return hasValue(object, key) ? std::optional(requireInt(object, key)) : std::nullopt;
}

std::optional<double> optionalDouble(const Json& object, const char* key)
{
    return hasValue(object, key) ? std::optional(requireDouble(object, key)) : std::nullopt;
}

std::optional<QDateTime> optionalDate(const Json& object, const char* key)
{
    return hasValue(object, key) ? std::optional(requireDate(object, key)) : std::nullopt;
}

std::optional<QByteArray> optionalBase64(const Json& object, const char* key)
{
    return hasValue(object, key) ? std::optional(requireBase64(object, key)) : std::nullopt;
}

std::optional<std::filesystem::path> optionalFileUrl(const Json& object, const char* key)
{
    return hasValue(object, key) ? std::optional(requireFileUrl(object, key)) : std::nullopt;
}

std::vector<std::filesystem::path> optionalFileUrlList(const Json& object, const char* key)
{
    std::vector<std::filesystem::path> paths;
    if (!hasValue(object, key))
        return paths;
    const Json& list = member(object, key);
    if (!list.is_array())
        fail(key, "expected an array");
    for (const Json& item : list) {
        const auto path = item.is_string() ? decodeFileUrl(item.get<std::string>()) : std::nullopt;
        if (!path)
            fail(key, "expected an array of file URLs");
        paths.push_back(*path);
    }
    return paths;
}

} // namespace json
} // namespace larkfold::platform
