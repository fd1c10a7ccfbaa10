// Arbitrary bytes as a range catalogue: whatever the document holds, the queries answer one of
// their status codes, never throw (an escaping exception aborts the fuzzer), write the record
// only on success and only within its fields, and leave the document as it was.
#include "range_query.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

void check(bool condition) {
    if (!condition)
        std::abort();
}

_AI_VALRANGE_INFO_ record(const std::string& code, std::int32_t minimum, std::int32_t maximum,
                          const std::string& unit) {
    _AI_VALRANGE_INFO_ info;
    std::memset(&info, 0x5A, sizeof info);
    info.size = sizeof info;
    std::memcpy(info.codeText, code.data(), std::min<std::size_t>(code.size(), 3));
    info.codeText[std::min<std::size_t>(code.size(), 3)] = '\0';
    info.minimum = minimum;
    info.maximum = maximum;
    std::memcpy(info.unitText, unit.data(), std::min<std::size_t>(unit.size(), 7));
    info.unitText[std::min<std::size_t>(unit.size(), 7)] = '\0';
    return info;
}

bool same(const void* a, const void* b, std::size_t size) { return std::memcmp(a, b, size) == 0; }

void rangeByCode(const json& catalogue, const std::string& devName, const std::string& fwVersion,
                 const std::string& code) {
    const auto given = record(code, -1, -1, "old");
    auto info = given;
    const EApiStatus_t status = tessaro::queryValRange(&catalogue, devName, fwVersion, &info);
    if (status == EAPI_STATUS_SUCCESS) {
        check(info.size == given.size && same(info.codeText, given.codeText, sizeof info.codeText));
        check(info.unitText[7] == '\0');
    } else {
        check(status == EAPI_STATUS_ERROR || status == EAPI_STATUS_UNSUPPORTED);
        check(same(&info, &given, sizeof info));
    }
}

void codeByRange(const json& catalogue, const std::string& devName, const std::string& fwVersion,
                 std::int32_t minimum, std::int32_t maximum, const std::string& unit) {
    const auto given = record("zz", minimum, maximum, unit);
    auto info = given;
    const EApiStatus_t status = tessaro::queryValRangeCode(&catalogue, devName, fwVersion, &info);
    if (status == EAPI_STATUS_SUCCESS) {
        check(std::memchr(info.codeText, '\0', sizeof info.codeText) != nullptr);
        auto rest = info;
        std::memcpy(rest.codeText, given.codeText, sizeof rest.codeText);
        check(same(&rest, &given, sizeof rest));
    } else {
        check(status == EAPI_STATUS_ERROR || status == EAPI_STATUS_UNSUPPORTED);
        check(same(&info, &given, sizeof info));
    }
}

// Read-only look-ups for the harness itself, to pick names, codes and ranges that the
// document mentions, so that the queries get past their first steps.
const json* find(const json& object, const std::string& key) {
    if (!object.is_object())
        return nullptr;
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

std::int32_t roughInt(const json* value) {
    if (value == nullptr || !value->is_number())
        return 0;
    const double number = value->get<double>();
    return number > -2e9 && number < 2e9 ? static_cast<std::int32_t>(number) : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const json catalogue = json::parse(data, data + size, nullptr, false);
    if (catalogue.is_discarded())
        return 0;
    const json before = catalogue;

    std::vector<std::string> devNames = {"TQM-5502AI", ""};
    std::vector<std::string> fwVersions = {"1.00", "1.10"};
    if (catalogue.is_object()) {
        for (const auto& [name, module] : catalogue.items()) {
            if (devNames.size() >= 5)
                break;
            devNames.push_back(name);
            if (const json* order = find(module, "fwVerOrder"); order && order->is_array())
                for (const json& version : *order)
                    if (version.is_string() && fwVersions.size() < 5)
                        fwVersions.push_back(version.get<std::string>());
        }
    }

    for (const std::string& devName : devNames) {
        const json* ranges = catalogue.is_object() ? find(catalogue, devName) : nullptr;
        ranges = ranges ? find(*ranges, "rangeInfo") : nullptr;
        for (const std::string& fwVersion : fwVersions) {
            rangeByCode(catalogue, devName, fwVersion, "0A");
            codeByRange(catalogue, devName, fwVersion, 0, 10, "V");
            if (ranges == nullptr || !ranges->is_object())
                continue;
            int taken = 0;
            for (const auto& [code, entry] : ranges->items()) {
                if (++taken > 4)
                    break;
                rangeByCode(catalogue, devName, fwVersion, code);
                const json* unit = find(entry, "unit");
                codeByRange(catalogue, devName, fwVersion, roughInt(find(entry, "minValue")),
                            roughInt(find(entry, "maxValue")),
                            unit && unit->is_string() ? unit->get<std::string>() : "V");
            }
        }
    }
    check(catalogue == before);
    return 0;
}
