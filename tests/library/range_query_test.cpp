// The two range queries and the firmware test, on catalogues built here.
#include "range_query.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using nlohmann::json;
using tessaro::isFwVerAtLeast;
using tessaro::queryValRange;
using tessaro::queryValRangeCode;

namespace {

constexpr const char* twoChannel = "TQM-5502AI";
constexpr const char* eightChannel = "TQM-5508AI";

const json& sampleCatalogue() {
    static const json catalogue = json::parse(R"({
      "TQM-5502AI": {
        "fwVerOrder": ["1.00", "1.10", "2.00"],
        "rangeInfo": {
          "0A": { "valRangeCode": "0A", "minValue": 0, "maxValue": 10, "unit": "V",  "fwVer": "1.00" },
          "0B": { "valRangeCode": "0B", "minValue": 4, "maxValue": 20, "unit": "mA", "fwVer": "1.00" },
          "0C": { "valRangeCode": "0C", "minValue": 0, "maxValue": 20, "unit": "mA", "fwVer": "1.10" }
        }
      },
      "TQM-5508AI": {
        "fwVerOrder": ["1.00"],
        "rangeInfo": {
          "0A": { "valRangeCode": "0A", "minValue": 0, "maxValue": 10, "unit": "V",  "fwVer": "1.00" }
        }
      }
    })");
    return catalogue;
}

// A record whose every byte is set, so that a query writing where it must not shows up.
_AI_VALRANGE_INFO_ record(const char* code, int32_t minimum, int32_t maximum, const char* unit) {
    _AI_VALRANGE_INFO_ info;
    std::memset(&info, 0x5A, sizeof info);
    info.size = sizeof info;
    std::memcpy(info.codeText, code, std::strlen(code) + 1);
    info.minimum = minimum;
    info.maximum = maximum;
    std::memcpy(info.unitText, unit, std::strlen(unit) + 1);
    return info;
}

// Records for the range-by-code and the code-by-range queries.
_AI_VALRANGE_INFO_ codeRecord(const char* code) { return record(code, -77, -77, "old"); }
_AI_VALRANGE_INFO_ rangeRecord(int32_t minimum, int32_t maximum, const char* unit) {
    return record("zz", minimum, maximum, unit);
}

std::string bytes(const _AI_VALRANGE_INFO_& info) {
    return {reinterpret_cast<const char*>(&info), sizeof info};
}

std::string text(const char* field, std::size_t size) { return {field, strnlen(field, size)}; }
std::string codeOf(const _AI_VALRANGE_INFO_& info) { return text(info.codeText, sizeof info.codeText); }
std::string unitOf(const _AI_VALRANGE_INFO_& info) { return text(info.unitText, sizeof info.unitText); }

// What a successful range-by-code query leaves: the three outputs set, size and code as given.
void expectRangeFilled(const _AI_VALRANGE_INFO_& before, const _AI_VALRANGE_INFO_& after,
                       int32_t minimum, int32_t maximum, const std::string& unit) {
    EXPECT_EQ(after.minimum, minimum);
    EXPECT_EQ(after.maximum, maximum);
    EXPECT_EQ(unitOf(after), unit);
    EXPECT_EQ(after.unitText[7], '\0');
    EXPECT_EQ(after.size, before.size);
    EXPECT_EQ(0, std::memcmp(after.codeText, before.codeText, sizeof before.codeText));
}

// What a successful code-by-range query leaves: only the code changed.
void expectCodeFilled(const _AI_VALRANGE_INFO_& before, const _AI_VALRANGE_INFO_& after,
                      const std::string& code) {
    EXPECT_EQ(codeOf(after), code);
    _AI_VALRANGE_INFO_ rest = after;
    std::memcpy(rest.codeText, before.codeText, sizeof rest.codeText);
    EXPECT_EQ(bytes(rest), bytes(before));
}

// A one-module catalogue with a single entry "0A" (0 to 10 V from "1.00"), patched as a case needs.
json oneEntry(const std::vector<std::pair<std::string, json>>& patches = {}) {
    json catalogue = {{twoChannel,
                       {{"fwVerOrder", {"1.00", "1.10"}},
                        {"rangeInfo",
                         {{"0A",
                           {{"valRangeCode", "0A"},
                            {"minValue", 0},
                            {"maxValue", 10},
                            {"unit", "V"},
                            {"fwVer", "1.00"}}}}}}}};
    for (const auto& [pointer, value] : patches)
        catalogue[json::json_pointer(pointer)] = value;
    return catalogue;
}

// --- firmware test ----------------------------------------------------------------------

TEST(FwVerAtLeast, DecidesByTheOrderOfVersions) {
    const json order = {"1.00", "1.10", "2.00"};
    struct Case {
        const char* module;
        const char* entry;
        json order;
        bool admitted;
    } cases[] = {
        {"1.10", "1.10", order, true},
        {"2.00", "1.10", order, true},
        {"1.00", "1.10", order, false},
        {"1.10", "2.00", order, false},
        {"3.00", "1.00", order, false},   // module version not listed
        {"1.00", "0.90", order, true},    // entry version not listed
        {"1.0", "1.00", order, false},    // no trimming or numeric reading
        {"1.10", "1.1", order, true},
        {"1.0a", "1.0A", {"1.0A", "1.0a"}, true},
        {"1.0A", "1.0a", {"1.0A", "1.0a"}, false},
        {"1.00", "2.00", {"1.00", "2.00", "1.00"}, true}, // the last occurrence counts
        {"2.00", "1.00", {"1.00", "2.00", "1.00"}, false},
        {"1.10", "1.00", json::array(), false},
        {"1.00", "1.00", json::array(), true},
        {"1.00", "1.00", 42, true}, // equal texts never consult the order
        {"", "", nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.module) + " vs " + c.entry + " in " + c.order.dump());
        EXPECT_EQ(isFwVerAtLeast(c.module, c.entry, c.order), c.admitted);
    }
}

TEST(FwVerAtLeast, RefusesAnOrderThatIsNotAnArrayOfTexts) {
    for (const char* text : {"null", "\"1.00\"", "1.1", "{\"1.00\": 1}", "[\"1.00\", 110, \"2.00\"]",
                             "[\"1.00\", \"2.00\", null]", "[[\"2.00\"]]"}) {
        SCOPED_TRACE(text);
        const json order = json::parse(text);
        EXPECT_THROW(isFwVerAtLeast("2.00", "1.00", order), json::type_error);
    }
}

// --- the sample catalogue ---------------------------------------------------------------

TEST(RangeByCode, SampleCatalogue) {
    struct Case {
        const char* devName;
        const char* fwVersion;
        const char* code;
        EApiStatus_t status;
        int32_t minimum;
        int32_t maximum;
        const char* unit;
    } cases[] = {
        {twoChannel, "1.10", "0C", EAPI_STATUS_SUCCESS, 0, 20, "mA"},
        {twoChannel, "2.00", "0C", EAPI_STATUS_SUCCESS, 0, 20, "mA"},
        {twoChannel, "1.00", "0A", EAPI_STATUS_SUCCESS, 0, 10, "V"},
        {twoChannel, "1.00", "0B", EAPI_STATUS_SUCCESS, 4, 20, "mA"},
        {eightChannel, "1.00", "0A", EAPI_STATUS_SUCCESS, 0, 10, "V"},
        {twoChannel, "1.00", "0C", EAPI_STATUS_UNSUPPORTED, 0, 0, ""},
        {twoChannel, "0.50", "0A", EAPI_STATUS_UNSUPPORTED, 0, 0, ""}, // firmware not listed
        {twoChannel, "1.00", "0D", EAPI_STATUS_ERROR, 0, 0, ""},
        {twoChannel, "1.00", "0a", EAPI_STATUS_ERROR, 0, 0, ""},
        {twoChannel, "1.00", "", EAPI_STATUS_ERROR, 0, 0, ""},
        {eightChannel, "1.00", "0B", EAPI_STATUS_ERROR, 0, 0, ""},
        {"TQM-5504AI", "1.00", "0A", EAPI_STATUS_ERROR, 0, 0, ""},
        {"tqm-5502ai", "1.00", "0A", EAPI_STATUS_ERROR, 0, 0, ""},
        {"", "1.00", "0A", EAPI_STATUS_ERROR, 0, 0, ""},
    };
    const json before = sampleCatalogue();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.devName) + " " + c.fwVersion + " code " + c.code);
        const auto given = codeRecord(c.code);
        auto info = given;
        EXPECT_EQ(queryValRange(&sampleCatalogue(), c.devName, c.fwVersion, &info), c.status);
        if (c.status == EAPI_STATUS_SUCCESS)
            expectRangeFilled(given, info, c.minimum, c.maximum, c.unit);
        else
            EXPECT_EQ(bytes(info), bytes(given));
        EXPECT_EQ(sampleCatalogue(), before);
    }
}

TEST(CodeByRange, SampleCatalogue) {
    struct Case {
        const char* devName;
        const char* fwVersion;
        int32_t minimum;
        int32_t maximum;
        const char* unit;
        EApiStatus_t status;
        const char* code;
    } cases[] = {
        {twoChannel, "2.00", 4, 20, "mA", EAPI_STATUS_SUCCESS, "0B"},
        {twoChannel, "1.00", 0, 10, "V", EAPI_STATUS_SUCCESS, "0A"},
        {twoChannel, "1.10", 0, 20, "mA", EAPI_STATUS_SUCCESS, "0C"},
        {eightChannel, "1.00", 0, 10, "V", EAPI_STATUS_SUCCESS, "0A"},
        {twoChannel, "1.00", 0, 20, "mA", EAPI_STATUS_UNSUPPORTED, ""}, // only "0C", from "1.10"
        {twoChannel, "1.00", 0, 10, "v", EAPI_STATUS_UNSUPPORTED, ""},
        {twoChannel, "1.00", 0, 10, "V ", EAPI_STATUS_UNSUPPORTED, ""},
        {twoChannel, "1.00", 0, 11, "V", EAPI_STATUS_UNSUPPORTED, ""},
        {twoChannel, "1.00", 1, 10, "V", EAPI_STATUS_UNSUPPORTED, ""},
        {twoChannel, "0.50", 0, 10, "V", EAPI_STATUS_UNSUPPORTED, ""},
        {eightChannel, "1.00", 4, 20, "mA", EAPI_STATUS_UNSUPPORTED, ""},
        {"TQM-5504AI", "1.00", 0, 10, "V", EAPI_STATUS_ERROR, ""},
    };
    const json before = sampleCatalogue();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.devName) + " " + c.fwVersion + " " + std::to_string(c.minimum) +
                     "~" + std::to_string(c.maximum) + c.unit);
        const auto given = rangeRecord(c.minimum, c.maximum, c.unit);
        auto info = given;
        EXPECT_EQ(queryValRangeCode(&sampleCatalogue(), c.devName, c.fwVersion, &info), c.status);
        if (c.status == EAPI_STATUS_SUCCESS)
            expectCodeFilled(given, info, c.code);
        else
            EXPECT_EQ(bytes(info), bytes(given));
        EXPECT_EQ(sampleCatalogue(), before);
    }
}

// A failed look-up must not leave a member behind that a later walk would trip over.
TEST(CodeByRange, AnswersAsBeforeAfterAFailedRangeLookup) {
    const json before = sampleCatalogue();
    auto missing = codeRecord("0D");
    EXPECT_EQ(queryValRange(&sampleCatalogue(), twoChannel, "2.00", &missing), EAPI_STATUS_ERROR);
    auto unknown = codeRecord("0A");
    EXPECT_EQ(queryValRange(&sampleCatalogue(), "TQM-9999AI", "2.00", &unknown), EAPI_STATUS_ERROR);
    EXPECT_EQ(sampleCatalogue(), before);

    auto info = rangeRecord(4, 20, "mA");
    EXPECT_EQ(queryValRangeCode(&sampleCatalogue(), twoChannel, "2.00", &info), EAPI_STATUS_SUCCESS);
    EXPECT_EQ(codeOf(info), "0B");
}

TEST(Queries, RecordSizeAndNullArguments) {
    const json& catalogue = sampleCatalogue();
    struct Case {
        uint32_t size;
        EApiStatus_t status;
    } cases[] = {{0, EAPI_STATUS_INVALID_PARAMETER},
                 {23, EAPI_STATUS_INVALID_PARAMETER},
                 {24, EAPI_STATUS_SUCCESS},
                 {100, EAPI_STATUS_SUCCESS},
                 {0xFFFFFFFFu, EAPI_STATUS_SUCCESS}};
    for (const Case& c : cases) {
        SCOPED_TRACE("size " + std::to_string(c.size));
        auto byCode = codeRecord("0A");
        byCode.size = c.size;
        const auto byCodeGiven = byCode;
        EXPECT_EQ(queryValRange(&catalogue, twoChannel, "1.00", &byCode), c.status);
        auto byRange = rangeRecord(0, 10, "V");
        byRange.size = c.size;
        const auto byRangeGiven = byRange;
        EXPECT_EQ(queryValRangeCode(&catalogue, twoChannel, "1.00", &byRange), c.status);
        if (c.status != EAPI_STATUS_SUCCESS) {
            EXPECT_EQ(bytes(byCode), bytes(byCodeGiven));
            EXPECT_EQ(bytes(byRange), bytes(byRangeGiven));
        }
    }

    // The record is checked before the catalogue.
    EXPECT_EQ(queryValRange(nullptr, twoChannel, "1.00", nullptr), EAPI_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(queryValRangeCode(nullptr, twoChannel, "1.00", nullptr), EAPI_STATUS_INVALID_PARAMETER);
    auto small = codeRecord("0A");
    small.size = 23;
    EXPECT_EQ(queryValRange(nullptr, twoChannel, "1.00", &small), EAPI_STATUS_INVALID_PARAMETER);

    // No catalogue loaded.
    const auto byCodeGiven = codeRecord("0A");
    auto byCode = byCodeGiven;
    EXPECT_EQ(queryValRange(nullptr, twoChannel, "1.00", &byCode), EAPI_STATUS_ERROR);
    EXPECT_EQ(bytes(byCode), bytes(byCodeGiven));
    const auto byRangeGiven = rangeRecord(0, 10, "V");
    auto byRange = byRangeGiven;
    EXPECT_EQ(queryValRangeCode(nullptr, twoChannel, "1.00", &byRange), EAPI_STATUS_ERROR);
    EXPECT_EQ(bytes(byRange), bytes(byRangeGiven));
}

// The names and versions come from the device object's fields: only the text up to their
// NUL may count, and a record's code without a NUL must not be read past its field.
TEST(Queries, TextsAreTakenExactly) {
    const json& catalogue = sampleCatalogue();
    auto unterminated = codeRecord("0A");
    std::memcpy(unterminated.codeText, "0A00", 4);
    EXPECT_EQ(queryValRange(&catalogue, twoChannel, "1.00", &unterminated), EAPI_STATUS_ERROR);

    const std::string withNul("TQM-5502AI\0x", 12);
    auto info = codeRecord("0A");
    EXPECT_EQ(queryValRange(&catalogue, withNul, "1.00", &info), EAPI_STATUS_ERROR);
    EXPECT_EQ(queryValRange(&catalogue, std::string_view(withNul.c_str()), "1.00", &info),
              EAPI_STATUS_SUCCESS);
}

// --- numbers, units and codes -----------------------------------------------------------

TEST(Queries, NumberKindsReadAndCompareDifferently) {
    struct Case {
        const char* name;
        json minValue;
        json maxValue;
        int32_t minimum; // as the range-by-code query reads them
        int32_t maximum;
        bool matched; // whether a record with those numbers finds the entry
    } cases[] = {
        {"integers", 0, 10, 0, 10, true},
        {"10.0", 0, 10.0, 0, 10, true},
        {"whole doubles", 4.0, 20.0, 4, 20, true},
        {"9.5", 0, 9.5, 0, 9, false},
        {"-0.5", -0.5, 10, 0, 10, false},
        {"-9.9", -9.9, 10, -9, 10, false},
        {"true", true, 10, 1, 10, false},
        {"false", false, 10, 0, 10, false},
        {"int32 limits", INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX, true},
        {"unsigned int32 max", 0, static_cast<uint64_t>(INT32_MAX), 0, INT32_MAX, true},
        {"fraction below int32 max", 0, 2147483647.75, 0, INT32_MAX, false},
        {"fraction above int32 min", -2147483648.5, 0, INT32_MIN, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const json catalogue =
            oneEntry({{"/TQM-5502AI/rangeInfo/0A/minValue", c.minValue},
                      {"/TQM-5502AI/rangeInfo/0A/maxValue", c.maxValue}});

        const auto byCodeGiven = codeRecord("0A");
        auto byCode = byCodeGiven;
        ASSERT_EQ(queryValRange(&catalogue, twoChannel, "1.00", &byCode), EAPI_STATUS_SUCCESS);
        expectRangeFilled(byCodeGiven, byCode, c.minimum, c.maximum, "V");

        const auto byRangeGiven = rangeRecord(c.minimum, c.maximum, "V");
        auto byRange = byRangeGiven;
        if (c.matched) {
            EXPECT_EQ(queryValRangeCode(&catalogue, twoChannel, "1.00", &byRange), EAPI_STATUS_SUCCESS);
            expectCodeFilled(byRangeGiven, byRange, "0A");
        } else {
            EXPECT_EQ(queryValRangeCode(&catalogue, twoChannel, "1.00", &byRange), EAPI_STATUS_UNSUPPORTED);
            EXPECT_EQ(bytes(byRange), bytes(byRangeGiven));
        }
    }
}

TEST(Queries, UnitTextsAreCutToTheFieldAndComparedWhole) {
    struct Case {
        const char* unit;      // in the catalogue
        const char* unitText;  // what the range-by-code query writes
    } cases[] = {
        {"abcdefghi", "abcdefg"},
        {"abcdefgh", "abcdefg"},
        {"abcdefg", "abcdefg"},
        {"mA", "mA"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unit);
        const json catalogue = oneEntry({{"/TQM-5502AI/rangeInfo/0A/unit", c.unit}});
        const auto given = codeRecord("0A");
        auto info = given;
        ASSERT_EQ(queryValRange(&catalogue, twoChannel, "1.00", &info), EAPI_STATUS_SUCCESS);
        expectRangeFilled(given, info, 0, 10, c.unitText);

        // The cut text is not the unit: only a unit that fits can be asked for.
        const bool fits = std::strlen(c.unit) <= 7;
        auto byRange = rangeRecord(0, 10, c.unitText);
        EXPECT_EQ(queryValRangeCode(&catalogue, twoChannel, "1.00", &byRange),
                  fits ? EAPI_STATUS_SUCCESS : EAPI_STATUS_UNSUPPORTED);
    }
}

TEST(CodeByRange, FirstAdmittedMatchInKeyOrderWins) {
    const auto entry = [](const char* code, const char* fwVer) {
        return json{{"valRangeCode", code}, {"minValue", 0}, {"maxValue", 10}, {"unit", "V"},
                    {"fwVer", fwVer}};
    };
    struct Case {
        const char* name;
        json rangeInfo;
        const char* fwVersion;
        const char* code;
    } cases[] = {
        // Written "1A" first: the document orders keys, and "0A" comes first.
        {"tie", json::parse(R"({"1A": {"valRangeCode": "1A", "minValue": 0, "maxValue": 10, "unit": "V", "fwVer": "1.00"},
                                "0A": {"valRangeCode": "0A", "minValue": 0, "maxValue": 10, "unit": "V", "fwVer": "1.00"}})"),
         "1.00", "0A"},
        {"earlier key needs later firmware", {{"0A", entry("0A", "1.10")}, {"1A", entry("1A", "1.00")}}, "1.00", "1A"},
        {"both admitted", {{"0A", entry("0A", "1.10")}, {"1A", entry("1A", "1.00")}}, "1.10", "0A"},
        {"code from the entry, not the key", {{"0A", entry("0F", "1.00")}}, "1.00", "0F"},
        {"three characters", {{"0A", entry("10A", "1.00")}}, "1.00", "10A"},
        {"upper-case key first", {{"a", entry("a", "1.00")}, {"B", entry("B", "1.00")}}, "1.00", "B"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const json catalogue = oneEntry({{"/TQM-5502AI/rangeInfo", c.rangeInfo}});
        const auto given = rangeRecord(0, 10, "V");
        auto info = given;
        ASSERT_EQ(queryValRangeCode(&catalogue, twoChannel, c.fwVersion, &info), EAPI_STATUS_SUCCESS);
        expectCodeFilled(given, info, c.code);
    }
}

TEST(Queries, EmptyRangeInfo) {
    const json catalogue = oneEntry({{"/TQM-5502AI/rangeInfo", json::object()}});
    auto byCode = codeRecord("0A");
    EXPECT_EQ(queryValRange(&catalogue, twoChannel, "1.00", &byCode), EAPI_STATUS_ERROR);
    auto byRange = rangeRecord(0, 10, "V");
    EXPECT_EQ(queryValRangeCode(&catalogue, twoChannel, "1.00", &byRange), EAPI_STATUS_UNSUPPORTED);
}

TEST(Queries, EmptyFwVerOrderAdmitsOnlyTheSameVersion) {
    const json catalogue = oneEntry({{"/TQM-5502AI/fwVerOrder", json::array()}});
    struct Case {
        const char* fwVersion;
        EApiStatus_t status;
    } cases[] = {{"1.00", EAPI_STATUS_SUCCESS}, {"1.10", EAPI_STATUS_UNSUPPORTED}, {"0.90", EAPI_STATUS_UNSUPPORTED}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fwVersion);
        auto byCode = codeRecord("0A");
        EXPECT_EQ(queryValRange(&catalogue, twoChannel, c.fwVersion, &byCode), c.status);
        auto byRange = rangeRecord(0, 10, "V");
        EXPECT_EQ(queryValRangeCode(&catalogue, twoChannel, c.fwVersion, &byRange), c.status);
    }
}

// --- catalogues that do not follow the schema -------------------------------------------

enum Asked { AskRange = 1, AskCode = 2, AskBoth = 3 };

// Each case breaks the two-channel module of the sample; the eight-channel module stays
// sound, so the same document shows that the next query still answers.
TEST(Queries, MalformedCatalogueIsAnErrorAndHarmsNothing) {
    struct Case {
        const char* pointer;
        const char* value; // JSON text; null removes the member
        Asked asked;
    } cases[] = {
        {"/TQM-5502AI", "[1, 2]", AskBoth},
        {"/TQM-5502AI", "\"module\"", AskBoth},
        {"/TQM-5502AI", "7", AskBoth},
        {"/TQM-5502AI/rangeInfo", "[]", AskBoth},
        {"/TQM-5502AI/rangeInfo", "[{\"valRangeCode\": \"0A\"}]", AskBoth},
        {"/TQM-5502AI/rangeInfo", "\"0A\"", AskBoth},
        {"/TQM-5502AI/rangeInfo/0A", "[0, 10]", AskBoth},
        {"/TQM-5502AI/rangeInfo/0A", "\"0A\"", AskBoth},
        {"/TQM-5502AI/rangeInfo/0A", "10", AskBoth},
        {"/TQM-5502AI/rangeInfo/0A", "null", AskBoth}, // missing for one query, not an entry for the other
        {"/TQM-5502AI/fwVerOrder", "\"1.00\"", AskBoth},
        {"/TQM-5502AI/fwVerOrder", "{\"1.00\": 0}", AskBoth},
        {"/TQM-5502AI/fwVerOrder", "[\"1.00\", 1.1]", AskBoth},
        {"/TQM-5502AI/fwVerOrder", "[1.0, \"1.10\"]", AskBoth},
        {"/TQM-5502AI/fwVerOrder", nullptr, AskBoth},
        {"/TQM-5502AI/rangeInfo/0A/fwVer", nullptr, AskBoth},
        {"/TQM-5502AI/rangeInfo/0A/fwVer", "1.0", AskBoth},
        {"/TQM-5502AI/rangeInfo/0A/fwVer", "[\"1.00\"]", AskBoth},
        {"/TQM-5502AI/rangeInfo/0A/unit", nullptr, AskBoth},
        {"/TQM-5502AI/rangeInfo/0A/unit", "1", AskBoth},
        {"/TQM-5502AI/rangeInfo/0A/unit", "[\"V\"]", AskBoth},
        {"/TQM-5502AI/rangeInfo/0A/valRangeCode", nullptr, AskCode},
        {"/TQM-5502AI/rangeInfo/0A/valRangeCode", "10", AskCode},
        {"/TQM-5502AI/rangeInfo/0A/valRangeCode", "\"0A00\"", AskCode},
        {"/TQM-5502AI/rangeInfo/0A/minValue", nullptr, AskRange},
        {"/TQM-5502AI/rangeInfo/0A/minValue", "null", AskRange},
        {"/TQM-5502AI/rangeInfo/0A/minValue", "\"0\"", AskRange},
        {"/TQM-5502AI/rangeInfo/0A/minValue", "[0]", AskRange},
        {"/TQM-5502AI/rangeInfo/0A/maxValue", "{}", AskRange},
        {"/TQM-5502AI/rangeInfo/0A/minValue", "2147483648", AskBoth},
        {"/TQM-5502AI/rangeInfo/0A/minValue", "-2147483649", AskBoth},
        {"/TQM-5502AI/rangeInfo/0A/minValue", "-2147483649.0", AskBoth},
        {"/TQM-5502AI/rangeInfo/0A/maxValue", "4294967306", AskBoth},
        {"/TQM-5502AI/rangeInfo/0A/maxValue", "18446744073709551615", AskBoth},
        {"/TQM-5502AI/rangeInfo/0A/maxValue", "2147483648.0", AskBoth},
        {"/TQM-5502AI/rangeInfo/0A/maxValue", "1e10", AskBoth},
        {"/TQM-5502AI/rangeInfo/0A/maxValue", "-1e300", AskBoth},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pointer) + " = " + (c.value ? c.value : "(removed)"));
        json catalogue = sampleCatalogue();
        const json::json_pointer pointer(c.pointer);
        if (c.value)
            catalogue[pointer] = json::parse(c.value);
        else
            catalogue[pointer.parent_pointer()].erase(pointer.back());
        const json before = catalogue;

        // "1.10" differs from the entry's "1.00", so fwVerOrder is consulted.
        if (c.asked & AskRange) {
            const auto given = codeRecord("0A");
            auto info = given;
            EXPECT_EQ(queryValRange(&catalogue, twoChannel, "1.10", &info), EAPI_STATUS_ERROR);
            EXPECT_EQ(bytes(info), bytes(given));
        }
        if (c.asked & AskCode) {
            const auto given = rangeRecord(0, 10, "V");
            auto info = given;
            EXPECT_EQ(queryValRangeCode(&catalogue, twoChannel, "1.10", &info), EAPI_STATUS_ERROR);
            EXPECT_EQ(bytes(info), bytes(given));
        }
        EXPECT_EQ(catalogue, before);

        auto byCode = codeRecord("0A");
        EXPECT_EQ(queryValRange(&catalogue, eightChannel, "1.00", &byCode), EAPI_STATUS_SUCCESS);
        EXPECT_EQ(byCode.maximum, 10);
        auto byRange = rangeRecord(0, 10, "V");
        EXPECT_EQ(queryValRangeCode(&catalogue, eightChannel, "1.00", &byRange), EAPI_STATUS_SUCCESS);
        EXPECT_EQ(codeOf(byRange), "0A");
    }
}

TEST(Queries, TopLevelThatIsNotAnObject) {
    for (const char* text : {"[]", "[{\"TQM-5502AI\": {}}]", "3", "\"TQM-5502AI\"", "true", "null"}) {
        SCOPED_TRACE(text);
        const json catalogue = json::parse(text);
        const auto byCodeGiven = codeRecord("0A");
        auto byCode = byCodeGiven;
        EXPECT_EQ(queryValRange(&catalogue, twoChannel, "1.00", &byCode), EAPI_STATUS_ERROR);
        EXPECT_EQ(bytes(byCode), bytes(byCodeGiven));
        const auto byRangeGiven = rangeRecord(0, 10, "V");
        auto byRange = byRangeGiven;
        EXPECT_EQ(queryValRangeCode(&catalogue, twoChannel, "1.00", &byRange), EAPI_STATUS_ERROR);
        EXPECT_EQ(bytes(byRange), bytes(byRangeGiven));
    }
}

// Faults count only where a query reads: the code-by-range walk skips an entry whose numbers
// it cannot match, and never looks into one it has already turned down.
TEST(CodeByRange, SkipsEntriesItCannotMatch) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, json>> patches; // on entry "0A"
    } cases[] = {
        {"minValue missing", {{"minValue", nullptr}}},
        {"minValue text", {{"minValue", "0"}}},
        {"minValue array", {{"minValue", {0}}}},
        {"maxValue object", {{"maxValue", json::object()}}},
        {"maxValue boolean", {{"maxValue", true}}},
        {"other unit, code not a text", {{"unit", "mV"}, {"valRangeCode", 10}}},
        {"firmware refused, numbers out of range", {{"fwVer", "1.10"}, {"minValue", 5e9}, {"maxValue", -1}}},
        {"firmware refused, unit missing", {{"fwVer", "1.10"}, {"unit", nullptr}}},
        {"minimum differs, maximum out of range", {{"minValue", 1}, {"maxValue", 1e20}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        json catalogue = oneEntry();
        json& ranges = catalogue[twoChannel]["rangeInfo"];
        ranges["1A"] = ranges["0A"];
        ranges["1A"]["valRangeCode"] = "1A";
        for (const auto& [key, value] : c.patches) {
            if (value.is_null())
                ranges["0A"].erase(key);
            else
                ranges["0A"][key] = value;
        }
        const auto given = rangeRecord(0, 10, "V");
        auto info = given;
        ASSERT_EQ(queryValRangeCode(&catalogue, twoChannel, "1.00", &info), EAPI_STATUS_SUCCESS);
        expectCodeFilled(given, info, "1A");
    }
}

// fwVerOrder is only consulted when the versions differ, and the range-by-code query never
// reads valRangeCode.
TEST(Queries, UnreadPartsNeedNotFollowTheSchema) {
    const json oddOrder = oneEntry({{"/TQM-5502AI/fwVerOrder", "1.00"}});
    auto byCode = codeRecord("0A");
    EXPECT_EQ(queryValRange(&oddOrder, twoChannel, "1.00", &byCode), EAPI_STATUS_SUCCESS);
    auto byRange = rangeRecord(0, 10, "V");
    EXPECT_EQ(queryValRangeCode(&oddOrder, twoChannel, "1.00", &byRange), EAPI_STATUS_SUCCESS);

    const json oddCode = oneEntry({{"/TQM-5502AI/rangeInfo/0A/valRangeCode", 12345}});
    auto info = codeRecord("0A");
    EXPECT_EQ(queryValRange(&oddCode, twoChannel, "1.00", &info), EAPI_STATUS_SUCCESS);
    EXPECT_EQ(info.maximum, 10);
}

// --- the shipped example ----------------------------------------------------------------

// The tool offers 0~10 V and 4~20 mA; the example must serve both to the two-channel type and
// 0~10 V to the eight-channel one, from the first firmware on.
TEST(ExampleCatalogue, ServesTheToolsRanges) {
    const json catalogue = json::parse(tessaro::test::exampleCatalogue());
    struct Case {
        const char* devName;
        int32_t minimum;
        int32_t maximum;
        const char* unit;
    } cases[] = {{twoChannel, 0, 10, "V"}, {twoChannel, 4, 20, "mA"}, {eightChannel, 0, 10, "V"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.devName) + " " + c.unit);
        auto byRange = rangeRecord(c.minimum, c.maximum, c.unit);
        ASSERT_EQ(queryValRangeCode(&catalogue, c.devName, "1.00", &byRange), EAPI_STATUS_SUCCESS);
        auto byCode = codeRecord(codeOf(byRange).c_str());
        ASSERT_EQ(queryValRange(&catalogue, c.devName, "1.00", &byCode), EAPI_STATUS_SUCCESS);
        expectRangeFilled(codeRecord(codeOf(byRange).c_str()), byCode, c.minimum, c.maximum, c.unit);
    }
    // And one range that needs a later firmware.
    auto later = rangeRecord(0, 20, "mA");
    EXPECT_EQ(queryValRangeCode(&catalogue, twoChannel, "1.00", &later), EAPI_STATUS_UNSUPPORTED);
    EXPECT_EQ(queryValRangeCode(&catalogue, twoChannel, "1.10", &later), EAPI_STATUS_SUCCESS);
}

} // namespace
