#pragma once

// The JSON type and its helpers by name only: headers of records include this, so that only
// the code that builds or reads documents pays for the whole library (platform/Json.h).

#include <QByteArray>
#include <QDateTime>
#include <QTimeZone>
#include <QUuid>

#include <nlohmann/json_fwd.hpp>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace larkfold::platform {

// Keys of every object are kept in alphabetical order (std::map).
using Json = nlohmann::json;

// Thrown only inside decoding code and caught where a whole file is read.
class JsonDecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The form of every JSON file of the program's own: two-space indent, sorted keys, "/" as "\/".
std::string encodeJsonPretty(const Json& value);
// The compact form (the run checkpoint); same escaping.
std::string encodeJsonCompact(const Json& value);
// Parses bytes; throws JsonDecodeError on malformed input.
Json parseJson(std::string_view bytes);

// ISO 8601 internet date-time in UTC, whole seconds, ending in "Z".
std::string encodeDate(const QDateTime& date);
// Accepts only "YYYY-MM-DDTHH:MM:SSZ".
std::optional<QDateTime> decodeDate(std::string_view text);

// Upper-case 8-4-4-4-12.
std::string encodeUuid(const QUuid& uuid);
std::optional<QUuid> decodeUuid(std::string_view text);

std::string encodeBase64(const QByteArray& bytes);
std::optional<QByteArray> decodeBase64(std::string_view text);

// A "file:" URL of the percent-encoded byte path; folders end with "/".
std::string encodeFileUrl(const std::filesystem::path& path, bool isDirectory);
// The absolute path of a "file:" URL (a trailing "/" is dropped); none for anything else.
std::optional<std::filesystem::path> decodeFileUrl(std::string_view url);

// Strict readers for decoding records: a missing key or a wrong type throws JsonDecodeError.
namespace json {
const Json& member(const Json& object, const char* key);
bool hasValue(const Json& object, const char* key);
std::string requireString(const Json& object, const char* key);
bool requireBool(const Json& object, const char* key);
std::int64_t requireInt(const Json& object, const char* key);
double requireDouble(const Json& object, const char* key);
QDateTime requireDate(const Json& object, const char* key);
QUuid requireUuid(const Json& object, const char* key);
QByteArray requireBase64(const Json& object, const char* key);
std::filesystem::path requireFileUrl(const Json& object, const char* key);

std::optional<std::string> optionalString(const Json& object, const char* key);
std::optional<bool> optionalBool(const Json& object, const char* key);
std::optional<std::int64_t> optionalInt(const Json& object, const char* key);
std::optional<double> optionalDouble(const Json& object, const char* key);
std::optional<QDateTime> optionalDate(const Json& object, const char* key);
std::optional<QByteArray> optionalBase64(const Json& object, const char* key);
std::optional<std::filesystem::path> optionalFileUrl(const Json& object, const char* key);
// An array of "file:" URLs; empty when the key is absent.
std::vector<std::filesystem::path> optionalFileUrlList(const Json& object, const char* key);
} // namespace json

} // namespace larkfold::platform
