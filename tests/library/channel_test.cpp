// Channel ranges and values through a device object, with the example range catalogue.
#include "library_fixture.h"

#include <cstring>

namespace tessaro::test {
namespace {

using EApiCommon::IatAI;

_AI_VALRANGE_INFO_ record(int32_t minimum = 0, int32_t maximum = 0, const char* unit = "") {
    _AI_VALRANGE_INFO_ info{};
    info.size = sizeof info;
    info.minimum = minimum;
    info.maximum = maximum;
    std::strncpy(info.unitText, unit, sizeof info.unitText - 1);
    return info;
}

class ChannelTest : public LibraryTest {
protected:
    // A two-channel module on COM3 (channel 0: 0~10 V, channel 1: 4~20 mA), acquired.
    void SetUp() override {
        writeRangeFile(exampleCatalogue());
        module_ = &addModule("COM3");
        load();
        ASSERT_EQ(lib().getDevice(&device_, "COM3"), EAPI_STATUS_SUCCESS);
        module_->clearReceived();
    }
    void TearDown() override {
        if (device_)
            lib().delDeviceByAddr(&device_);
        LibraryTest::TearDown();
    }
    sim::ModuleSimulator& module() { return *module_; }
    IatAI* device() { return device_; }

private:
    sim::ModuleSimulator* module_ = nullptr;
    IatAI* device_ = nullptr;
};

TEST_F(ChannelTest, ReadsTheRangeCodeAsHexadecimalText) {
    struct Case {
        std::string reply;
        uint8_t code;
    } const cases[] = {
        {"!01C1R08\r", 0x08}, {"!abcdeFF\r", 0xFF}, {"!01C1R0a\r", 0x0A},
        {"!01C1R\r", 0},      {"!01C1R", 0},        {"!01C1R1FF\r", 0xFF}, // low byte of 0x1FF
        {"!01C1R 0x1B\r", 0x1B},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        module().setNextReply(c.reply);
        uint8_t code = 0x55;
        EXPECT_EQ(device()->getValRangeCode(&code, 1), EAPI_STATUS_SUCCESS);
        EXPECT_EQ(code, c.code);
    }
    EXPECT_EQ(module().received(), std::vector<std::string>(std::size(cases), "$018C1\r"));

    module().setFault(sim::Fault::WrongFirstChar, 1);
    uint8_t code = 0x55;
    EXPECT_EQ(device()->getValRangeCode(&code, 1), EAPI_STATUS_ERROR);
    EXPECT_EQ(code, 0x55);
}

TEST_F(ChannelTest, SetsTheRangeCodeWithTwoUppercaseDigits) {
    struct Case {
        uint8_t code;
        int32_t channel;
        const char* sent;
    } const cases[] = {{0x0A, 1, "$017C1R0A\r"}, {0x08, 0, "$017C0R08\r"}, {0xFF, 1, "$017C1RFF\r"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sent);
        module().clearReceived();
        EXPECT_EQ(device()->setValRangeCode(c.code, c.channel), EAPI_STATUS_SUCCESS);
        EXPECT_EQ(module().received(), std::vector<std::string>{c.sent});
    }
    module().setFault(sim::Fault::NoReply, 1);
    EXPECT_EQ(device()->setValRangeCode(0x0B, 1), EAPI_STATUS_ERROR);
}

TEST_F(ChannelTest, ExactBytesForChannelThreeOfAnEightChannelModule) {
    auto& eight = addModule("COM4", eightChannelModule());
    IatAI* device = nullptr;
    ASSERT_EQ(lib().getDevice(&device, "COM4"), EAPI_STATUS_SUCCESS);
    eight.clearReceived();
    EXPECT_EQ(device->setValRangeCode(0x0A, 3), EAPI_STATUS_SUCCESS);
    EXPECT_EQ(eight.received(), std::vector<std::string>{"$017C3R0A\r"}); // ten bytes
    EXPECT_EQ(lib().delDeviceByAddr(&device), EAPI_STATUS_SUCCESS);
}

TEST_F(ChannelTest, ReadsRangesThroughTheCatalogue) {
    auto info = record();
    ASSERT_EQ(device()->getValRange(&info, 0), EAPI_STATUS_SUCCESS);
    EXPECT_STREQ(info.codeText, "0A");
    EXPECT_EQ(info.minimum, 0);
    EXPECT_EQ(info.maximum, 10);
    EXPECT_STREQ(info.unitText, "V");
    ASSERT_EQ(device()->getValRange(&info, 1), EAPI_STATUS_SUCCESS);
    EXPECT_STREQ(info.codeText, "0B");
    EXPECT_EQ(info.minimum, 4);
    EXPECT_EQ(info.maximum, 20);
    EXPECT_STREQ(info.unitText, "mA");
    EXPECT_EQ(module().received(), (std::vector<std::string>{"$018C0\r", "$018C1\r"}));
}

TEST_F(ChannelTest, FailedRangeReadsSayWhyAndKeepTheRecord) {
    struct Case {
        const char* what;
        std::string reply; // empty: the module stays silent
        EApiStatus_t status;
        const char* codeText;
    } const cases[] = {
        {"no reply", "", EAPI_STATUS_ERROR, ""},
        {"error reply", "?01C0R0A\r", EAPI_STATUS_ERROR, ""},
        {"code unknown to the catalogue", "!01C0R0D\r", EAPI_STATUS_ERROR, "0D"},
        {"code needs later firmware", "!01C0R0C\r", EAPI_STATUS_UNSUPPORTED, "0C"},
        {"long code cut to three", "!01C0R0ABC\r", EAPI_STATUS_ERROR, "0AB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.reply.empty())
            module().setFault(sim::Fault::NoReply, 1);
        else
            module().setNextReply(c.reply);
        auto info = record(-7, 77, "old");
        std::strcpy(info.codeText, "zz");
        EXPECT_EQ(device()->getValRange(&info, 0), c.status);
        EXPECT_STREQ(info.codeText, c.codeText);
        EXPECT_EQ(info.minimum, -7);
        EXPECT_EQ(info.maximum, 77);
        EXPECT_STREQ(info.unitText, "old");
    }
}

TEST_F(ChannelTest, SetsRangesByTheirCatalogueCode) {
    auto info = record(4, 20, "mA");
    ASSERT_EQ(device()->setValRange(&info, 0), EAPI_STATUS_SUCCESS);
    EXPECT_STREQ(info.codeText, "0B");
    EXPECT_EQ(module().received(), std::vector<std::string>{"$017C0R0B\r"});
    EXPECT_EQ(module().rangeCode(0), "0B");
}

TEST_F(ChannelTest, NothingIsSentWhenTheCatalogueRefusesTheRange) {
    struct Case {
        _AI_VALRANGE_INFO_ info;
        EApiStatus_t status;
    } cases[] = {
        {record(0, 20, "mA"), EAPI_STATUS_UNSUPPORTED}, // needs firmware 1.10; the module has 1.00
        {record(0, 10, "v"), EAPI_STATUS_UNSUPPORTED},  // units compare case by case
        {record(1, 2, "V"), EAPI_STATUS_UNSUPPORTED},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.info.minimum) + "~" + std::to_string(c.info.maximum) + c.info.unitText);
        std::strcpy(c.info.codeText, "zz");
        EXPECT_EQ(device()->setValRange(&c.info, 1), c.status);
        EXPECT_STREQ(c.info.codeText, "zz");
    }
    EXPECT_TRUE(module().received().empty());
}

TEST_F(ChannelTest, ChannelsAndRecordsAreCheckedBeforeAnythingIsSent) {
    auto info = record(0, 10, "V");
    auto small = info;
    small.size = 20;
    uint8_t code = 0;
    char text[16];
    uint32_t length = sizeof text;
    for (int32_t channel : {2, -1, -2}) {
        SCOPED_TRACE(channel);
        EXPECT_EQ(device()->getValRangeCode(&code, channel), EAPI_STATUS_INVALID_PARAMETER);
        EXPECT_EQ(device()->getValRange(&info, channel), EAPI_STATUS_INVALID_PARAMETER);
        EXPECT_EQ(device()->setValRangeCode(0x0A, channel), EAPI_STATUS_INVALID_PARAMETER);
        EXPECT_EQ(device()->setValRange(&info, channel), EAPI_STATUS_INVALID_PARAMETER);
        if (channel != -1) {
            EXPECT_EQ(device()->getValue(text, &length, channel), EAPI_STATUS_INVALID_PARAMETER);
        }
    }
    EXPECT_EQ(device()->getValRange(&small, 0), EAPI_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(device()->setValRange(&small, 0), EAPI_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(device()->getValRange(nullptr, 0), EAPI_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(device()->getValRangeCode(nullptr, 0), EAPI_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(device()->getValue(nullptr, &length, 0), EAPI_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(device()->getValue(text, nullptr, 0), EAPI_STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(module().received().empty());

    auto large = info;
    large.size = 100;
    EXPECT_EQ(device()->getValRange(&large, 1), EAPI_STATUS_SUCCESS);
}

TEST_F(ChannelTest, ValuesAreTheModulesTextCutToTheBuffer) {
    struct Case {
        std::string reply; // empty: the simulator's own answer
        int32_t channel;
        uint32_t capacity;
        std::string text;
        const char* sent;
    } const cases[] = {
        {"", 1, 256, "+12.000", "#011\r"},
        {"", 1, 4, "+12", "#011\r"},
        {"", -1, 256, "+01.250+12.000", "#01\r"},
        {"!+03.500\r", 0, 256, "+03.500", "#010\r"},
        {">", 0, 256, "", "#010\r"},
        {">" + std::string(300, '7') + "\r", 0, 256, std::string(253, '7'), "#010\r"}, // 255 kept, last dropped
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sent + (" " + c.reply));
        module().clearReceived();
        if (!c.reply.empty())
            module().setNextReply(c.reply);
        EApiStatus_t status = 0;
        EXPECT_EQ(readText([&](char* t, uint32_t* l) { return device()->getValue(t, l, c.channel); }, c.capacity,
                           &status),
                  c.text);
        EXPECT_EQ(status, EAPI_STATUS_SUCCESS);
        EXPECT_EQ(module().received(), std::vector<std::string>{c.sent});
    }
}

TEST_F(ChannelTest, ValueFailuresLeaveTheBufferAlone) {
    char text[16] = "keep";
    uint32_t length = 0;
    EXPECT_EQ(device()->getValue(text, &length, 0), EAPI_STATUS_SUCCESS); // asks, writes nothing
    EXPECT_STREQ(text, "keep");
    module().setFault(sim::Fault::NoReply, 2);
    EXPECT_EQ(device()->getValue(text, &length, 0), EAPI_STATUS_ERROR);
    length = sizeof text;
    EXPECT_EQ(device()->getValue(text, &length, 0), EAPI_STATUS_ERROR);
    EXPECT_STREQ(text, "keep");
    EXPECT_EQ(length, sizeof text);
}

TEST_F(ChannelTest, AnEightChannelModuleAcceptsChannelSevenOnly) {
    addModule("COM4", eightChannelModule());
    IatAI* device = nullptr;
    ASSERT_EQ(lib().getDevice(&device, "COM4"), EAPI_STATUS_SUCCESS);
    char text[16];
    uint32_t length = sizeof text;
    EXPECT_EQ(device->getValue(text, &length, 7), EAPI_STATUS_SUCCESS);
    EXPECT_STREQ(text, "+07.000");
    EXPECT_EQ(device->getValue(text, &length, 8), EAPI_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(lib().delDeviceByAddr(&device), EAPI_STATUS_SUCCESS);
}

class CatalogueThroughDeviceTest : public LibraryTest {
protected:
    // Loads the library over `catalogue` and reads channel 0 of a 2-channel module (code 0A),
    // then tries to set 0~10 V; returns both statuses.
    std::pair<EApiStatus_t, EApiStatus_t> readAndSet(const std::string& catalogue, _AI_VALRANGE_INFO_& info) {
        writeRangeFile(catalogue);
        load();
        IatAI* device = nullptr;
        EXPECT_EQ(lib().getDevice(&device, "COM3"), EAPI_STATUS_SUCCESS);
        const EApiStatus_t read = device->getValRange(&info, 0);
        auto wanted = record(0, 10, "V");
        module_->clearReceived();
        const EApiStatus_t set = device->setValRange(&wanted, 0);
        if (set != EAPI_STATUS_SUCCESS) {
            EXPECT_TRUE(module_->received().empty());
        }
        lib().delDeviceByAddr(&device);
        unload();
        return {read, set};
    }
    void SetUp() override { module_ = &addModule("COM3"); }
    sim::ModuleSimulator* module_ = nullptr;
};

TEST_F(CatalogueThroughDeviceTest, FilesThatParseAreUsedWhateverFollowsTheValue) {
    const std::string catalogue = exampleCatalogue();
    for (const std::string& contents : {"\xEF\xBB\xBF" + catalogue, catalogue + "\n} trailing text {"}) {
        SCOPED_TRACE(contents.substr(0, 8));
        auto info = record();
        EXPECT_EQ(readAndSet(contents, info), std::make_pair(EAPI_STATUS_SUCCESS, EAPI_STATUS_SUCCESS));
        EXPECT_EQ(info.maximum, 10);
    }
}

TEST_F(CatalogueThroughDeviceTest, ACatalogueOffTheSchemaIsAnErrorNotACrash) {
    auto module = [](const std::string& body) { return R"({"TQM-5502AI": )" + body + "}"; };
    struct Case {
        const char* what;
        std::string catalogue;
        EApiStatus_t read = EAPI_STATUS_ERROR; // range of channel 0, code 0A
        EApiStatus_t set = EAPI_STATUS_ERROR;  // 0~10 V
    } const cases[] = {
        {"module is a text", module(R"("nothing")")},
        {"rangeInfo is an array", module(R"({"fwVerOrder": ["1.00"], "rangeInfo": [1]})")},
        {"entry is a number", module(R"({"fwVerOrder": ["1.00"], "rangeInfo": {"0A": 7}})")},
        {"fwVer is a number", module(R"({"fwVerOrder": ["1.00"], "rangeInfo": {"0A": {"valRangeCode": "0A",
            "minValue": 0, "maxValue": 10, "unit": "V", "fwVer": 1.0}}})")},
        {"fwVerOrder of numbers", module(R"({"fwVerOrder": [1.0], "rangeInfo": {"0A": {"valRangeCode": "0A",
            "minValue": 0, "maxValue": 10, "unit": "V", "fwVer": "0.90"}}})")},
        {"unit missing", module(R"({"fwVerOrder": ["1.00"], "rangeInfo": {"0A": {"valRangeCode": "0A",
            "minValue": 0, "maxValue": 10, "fwVer": "1.00"}}})")},
        {"maximum beyond 32 bits", module(R"({"fwVerOrder": ["1.00"], "rangeInfo": {"0A": {"valRangeCode": "0A",
            "minValue": 0, "maxValue": 4294967306, "unit": "V", "fwVer": "1.00"}}})")},
        // Reading by code never looks at the code text; setting would send it.
        {"code of four characters", module(R"({"fwVerOrder": ["1.00"], "rangeInfo": {"0A": {"valRangeCode": "0A00",
            "minValue": 0, "maxValue": 10, "unit": "V", "fwVer": "1.00"}}})"), EAPI_STATUS_SUCCESS},
        {"top level is an array", "[" + module("{}") + "]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto info = record(-1, -1, "old");
        EXPECT_EQ(readAndSet(c.catalogue, info), std::make_pair(c.read, c.set));
        if (c.read != EAPI_STATUS_SUCCESS) {
            EXPECT_EQ(info.maximum, -1);
            EXPECT_STREQ(info.unitText, "old");
        }
    }
}

} // namespace
} // namespace tessaro::test
