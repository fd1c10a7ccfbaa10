// Range lookups in the catalogue for one module, by its name and firmware version.
// Pure functions of their arguments: no I/O, no locks, and the catalogue is only read.
#pragma once

#include "tessaro.h"

#include <nlohmann/json.hpp>
#include <string_view>

namespace tessaro {

// Whether a module with firmware `moduleVersion` may use an entry introduced in
// `entryVersion`, given the module type's versions `order`, oldest first.
bool isFwVerAtLeast(std::string_view moduleVersion, std::string_view entryVersion,
                    const nlohmann::json& order);

// codeText -> minimum, maximum, unitText. `catalogue` is null when no catalogue is loaded.
EApiStatus_t queryValRange(const nlohmann::json* catalogue, std::string_view devName,
                           std::string_view fwVersion, _AI_VALRANGE_INFO_* info);

// minimum, maximum, unitText -> codeText.
EApiStatus_t queryValRangeCode(const nlohmann::json* catalogue, std::string_view devName,
                               std::string_view fwVersion, _AI_VALRANGE_INFO_* info);

} // namespace tessaro
