#pragma once

#include "platform/JsonFwd.h"

#include <nlohmann/json.hpp>
