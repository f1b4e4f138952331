#pragma once

#include "platform/Json.h"

namespace larkfold::test {

// A copy of a record's JSON with one key replaced, or removed when `value` is null.
inline platform::Json withKey(platform::Json object, const char* key, const platform::Json& value)
{
    if (value.is_null())
        object.erase(key);
    else
        object[key] = value;
    return object;
}

} // namespace larkfold::test
