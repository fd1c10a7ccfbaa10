#include "range_query.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace tessaro {

namespace {

using json = nlohmann::json;

// The catalogue does not follow the schema where a query reads it. Thrown by the checks
// below and caught, with the JSON library's own exceptions, at the edge of each query: a
// hand-edited file must cost the caller a status code, never the process.
struct SchemaFault {};

// A member by key, or null when the key is missing or its value is null: both mean "not
// listed". Read-only on purpose: operator[] on a non-const document would insert the key.
const json* member(const json* object, std::string_view key) {
    if (object == nullptr || object->is_null())
        return nullptr;
    if (!object->is_object())
        throw SchemaFault{};
    const auto it = object->find(key);
    return it == object->end() || it->is_null() ? nullptr : &*it;
}

const std::string& textMember(const json& entry, std::string_view key) {
    const json* value = member(&entry, key);
    if (value == nullptr || !value->is_string())
        throw SchemaFault{};
    return value->get_ref<const std::string&>();
}

// A catalogue number as int32: integers as they are, fractions truncated toward zero. A
// number with no int32 (out of range, also after truncation) is a fault rather than a
// silently wrapped range.
std::int32_t truncatedInt32(const json& number) {
    constexpr auto lowest = std::numeric_limits<std::int32_t>::min();
    constexpr auto highest = std::numeric_limits<std::int32_t>::max();
    if (number.is_number_unsigned()) {
        const auto value = number.get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(highest))
            throw SchemaFault{};
        return static_cast<std::int32_t>(value);
    }
    if (number.is_number_integer()) {
        const auto value = number.get<std::int64_t>();
        if (value < lowest || value > highest)
            throw SchemaFault{};
        return static_cast<std::int32_t>(value);
    }
    const auto value = number.get<double>();
    // Open bounds: everything strictly between them truncates into int32. Also refuses NaN.
    if (!(value > lowest - 1.0 && value < highest + 1.0))
        throw SchemaFault{};
    return static_cast<std::int32_t>(value);
}

// How the range-by-code query reads minValue and maxValue: numbers truncated, booleans as
// 0 and 1, anything else (a missing value included) a fault.
std::int32_t readInt32(const json* value) {
    if (value != nullptr && value->is_boolean())
        return value->get<bool>() ? 1 : 0;
    if (value == nullptr || !value->is_number())
        throw SchemaFault{};
    return truncatedInt32(*value);
}

// How the code-by-range query compares: by the JSON library's equality, so 20.0 equals 20
// and 9.5 equals nothing, while booleans, texts and missing values never match.
bool equalsInt32(const json* value, std::int32_t wanted) {
    if (value == nullptr || !value->is_number())
        return false;
    truncatedInt32(*value); // an out-of-range number is a fault, not merely unequal
    return *value == json(wanted);
}

// The record's texts up to their NUL, never past the field.
template <std::size_t N> std::string_view fieldText(const char (&field)[N]) {
    return {field, strnlen(field, N)};
}

template <std::size_t N> void setFieldText(char (&field)[N], std::string_view text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

// The checks both queries start with, and the one place where a catalogue that does not
// follow the schema becomes EAPI_STATUS_ERROR.
template <typename Query>
EApiStatus_t guarded(const json* catalogue, const _AI_VALRANGE_INFO_* info, const Query& query) {
    if (info == nullptr || info->size < sizeof(_AI_VALRANGE_INFO_))
        return EAPI_STATUS_INVALID_PARAMETER;
    if (catalogue == nullptr)
        return EAPI_STATUS_ERROR;
    try {
        return query();
    } catch (const SchemaFault&) {
        return EAPI_STATUS_ERROR;
    } catch (const json::exception&) {
        return EAPI_STATUS_ERROR;
    }
}

bool admits(std::string_view fwVersion, const json& entry, const json& order) {
    return isFwVerAtLeast(fwVersion, textMember(entry, "fwVer"), order);
}

} // namespace

// Throws the JSON library's type_error when `order` has to be consulted and is not an array
// of texts; the queries turn that into EAPI_STATUS_ERROR.
bool isFwVerAtLeast(std::string_view moduleVersion, std::string_view entryVersion,
                    const json& order) {
    if (moduleVersion == entryVersion)
        return true;
    const auto& versions = order.get_ref<const json::array_t&>();
    // A stray non-text anywhere makes the order unreliable, not just where the walk stops.
    for (const json& version : versions)
        version.get_ref<const std::string&>();
    // Later firmware sits later in the list; the last occurrence of a text counts.
    for (auto it = versions.rbegin(); it != versions.rend(); ++it) {
        const auto& version = it->get_ref<const std::string&>();
        if (version == moduleVersion)
            return true;
        if (version == entryVersion)
            return false;
    }
    return false;
}

EApiStatus_t queryValRange(const json* catalogue, std::string_view devName,
                           std::string_view fwVersion, _AI_VALRANGE_INFO_* info) {
    return guarded(catalogue, info, [&] {
        const json* module = member(catalogue, devName);
        const json* entry = member(member(module, "rangeInfo"), fieldText(info->codeText));
        const json* order = member(module, "fwVerOrder");
        if (entry == nullptr || order == nullptr)
            return EAPI_STATUS_ERROR;
        if (!admits(fwVersion, *entry, *order))
            return EAPI_STATUS_UNSUPPORTED;
        // Read everything before writing anything, so a fault leaves the record as it was.
        const std::int32_t minimum = readInt32(member(entry, "minValue"));
        const std::int32_t maximum = readInt32(member(entry, "maxValue"));
        const std::string& unit = textMember(*entry, "unit");
        info->minimum = minimum;
        info->maximum = maximum;
        setFieldText(info->unitText, unit); // a longer unit is cut to the field
        return EAPI_STATUS_SUCCESS;
    });
}

EApiStatus_t queryValRangeCode(const json* catalogue, std::string_view devName,
                               std::string_view fwVersion, _AI_VALRANGE_INFO_* info) {
    return guarded(catalogue, info, [&] {
        const json* module = member(catalogue, devName);
        const json* ranges = member(module, "rangeInfo");
        const json* order = member(module, "fwVerOrder");
        if (ranges == nullptr || order == nullptr)
            return EAPI_STATUS_ERROR;
        if (!ranges->is_object())
            throw SchemaFault{};
        // Ascending key order: with two matching entries the smaller key wins.
        for (const json& entry : *ranges) {
            if (!entry.is_object())
                throw SchemaFault{};
            if (!admits(fwVersion, entry, *order) ||
                !equalsInt32(member(&entry, "minValue"), info->minimum) ||
                !equalsInt32(member(&entry, "maxValue"), info->maximum) ||
                textMember(entry, "unit") != fieldText(info->unitText))
                continue;
            // A longer code is refused rather than cut: a cut code would set the module to
            // some other range.
            const std::string& code = textMember(entry, "valRangeCode");
            if (code.size() >= sizeof(info->codeText))
                throw SchemaFault{};
            setFieldText(info->codeText, code);
            return EAPI_STATUS_SUCCESS;
        }
        return EAPI_STATUS_UNSUPPORTED;
    });
}

} // namespace tessaro
