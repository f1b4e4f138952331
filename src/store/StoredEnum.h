#pragma once

#include "platform/JsonFwd.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace larkfold {

// Specialised for every enumeration written to the program's files: `names` holds the stored
// string of each case, in case order (cases are numbered from 0).
template <class E>
struct StoredNames;

template <class E>
constexpr std::string_view storedString(E value)
{
    return StoredNames<E>::names[std::size_t(value)];
}

// The case whose stored string is `text`; none for any other string (matching is exact).
template <class E>
constexpr std::optional<E> fromStoredString(std::string_view text)
{
    const auto& names = StoredNames<E>::names;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == text)
            return E(i);
    }
    return std::nullopt;
}

// Every case, in case order.
template <class E>
constexpr auto allCases()
{
    constexpr std::size_t count = StoredNames<E>::names.size();
    std::array<E, count> cases{};
    for (std::size_t i = 0; i < count; ++i)
        cases[i] = E(i);
    return cases;
}

// Strict readers: a present key with a string that is not a stored string fails the decoding.
template <class E>
E requireEnum(const platform::Json& object, const char* key)
{
    const std::string text = platform::json::requireString(object, key);
    const auto value = fromStoredString<E>(text);
    if (!value)
        throw platform::JsonDecodeError(std::string("\"") + key + "\": unknown value \"" + text + "\"");
    return *value;
}

template <class E>
std::optional<E> optionalEnum(const platform::Json& object, const char* key)
{
    if (!platform::json::hasValue(object, key))
        return std::nullopt;
    return requireEnum<E>(object, key);
}

} // namespace larkfold
