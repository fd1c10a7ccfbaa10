// The device object on a real terminal: identity replies, the exchange's pauses and stale
// lines, misbehaving and vanishing modules, ports working in parallel.
#include "library_fixture.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace tessaro::test {
namespace {

using EApiCommon::IatAI;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class DeviceTest : public LibraryTest {
protected:
    IatAI* acquire(const std::string& port) {
        IatAI* device = nullptr;
        EXPECT_EQ(lib().getDevice(&device, port), EAPI_STATUS_SUCCESS);
        return device;
    }
    static std::string name(IatAI* device, uint32_t capacity = 256, EApiStatus_t* status = nullptr) {
        return readText([&](char* t, uint32_t* l) { return device->getDevName(t, l); }, capacity, status);
    }
    static std::string firmware(IatAI* device, uint32_t capacity = 256, EApiStatus_t* status = nullptr) {
        return readText([&](char* t, uint32_t* l) { return device->getFwVersion(t, l); }, capacity, status);
    }
    static int32_t channels(IatAI* device) {
        int32_t count = -1;
        EXPECT_EQ(device->getChannelNum(&count), EAPI_STATUS_SUCCESS);
        return count;
    }
};

TEST_F(DeviceTest, AcquisitionReadsIdentityWithExactCommandBytes) {
    auto config = eightChannelModule();
    config.firmware = "2.01b";
    auto& module = addModule("COM3", config);
    load();
    IatAI* device = acquire("COM3");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(module.received(), (std::vector<std::string>{"$01M\r", "$01F\r"}));
    EXPECT_EQ(name(device), "TQM-5508AI");
    EXPECT_EQ(firmware(device), "2.01b");
    EXPECT_EQ(channels(device), 8);
    EXPECT_STREQ(internals(device).devName, "TQM-5508AI");
    EXPECT_STREQ(internals(device).fwVersion, "2.01b");
    lib().delDeviceByAddr(&device);
}

TEST_F(DeviceTest, TheNameSetsTheChannelCount) {
    struct Case {
        std::string reply; // the module's whole reply to "$01M"
        uint32_t capacity;
        std::string text;
        int32_t channels;
    } const cases[] = {
        {"!01TQM-5502AI\r", 256, "TQM-5502AI", 2},
        {"!01TQM-5508AI\r", 256, "TQM-5508AI", 8},
        {"!01TQM-550XAI\r", 256, "TQM-550XAI", 0},     // a letter before AI
        {"!01TQM-5502A\r", 256, "TQM-5502A", 8},       // no AI suffix: count unchanged
        {"!01TQM-5502AI\r", 9, "TQM-5502", 8},         // a cut name hides the suffix
        {">01TQM-5502AI\r", 256, "TQM-5502AI", 2},     // '>' is accepted as well
    };
    addModule("COM3", eightChannelModule());
    load();
    auto& module = addModule("COM4", eightChannelModule());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        IatAI* device = acquire("COM4"); // a fresh device: 8 channels
        module.setNextReply(c.reply);
        EApiStatus_t status = 0;
        EXPECT_EQ(name(device, c.capacity, &status), c.text);
        EXPECT_EQ(status, EAPI_STATUS_SUCCESS);
        EXPECT_EQ(channels(device), c.channels);
        lib().delDeviceByAddr(&device);
    }
}

TEST_F(DeviceTest, IdentityTextsAreCutToTheCallersBuffer) {
    const std::string longName(100, 'N');
    auto& module = addModule("COM3");
    load();
    IatAI* device = acquire("COM3");
    struct Case {
        std::string reply;
        uint32_t capacity;
        std::string text;
        std::string stored; // devName afterwards
    } const cases[] = {
        {"!01TQM-5502AI\r", 5, "TQM-", "TQM-"},
        {"!01" + longName + "\r", 256, longName, longName.substr(0, 63)},
        {"!01" + longName + "\r", 64, longName.substr(0, 63), longName.substr(0, 63)},
        {"!01TQM-5502AI\r", 1, "", longName.substr(0, 63)}, // nothing copied, nothing stored
        {"!01", 256, "", longName.substr(0, 63)},          // no CR: the last byte is dropped
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply + " into " + std::to_string(c.capacity));
        module.setNextReply(c.reply);
        EApiStatus_t status = 0;
        EXPECT_EQ(name(device, c.capacity, &status), c.text);
        EXPECT_EQ(status, EAPI_STATUS_SUCCESS);
        EXPECT_EQ(std::string(internals(device).devName), c.stored);
    }
    lib().delDeviceByAddr(&device);
}

TEST_F(DeviceTest, ALengthOfZeroStillAsksTheModuleButWritesNothing) {
    auto& module = addModule("COM3");
    load();
    IatAI* device = acquire("COM3");
    module.clearReceived();
    char text[8] = "keep";
    uint32_t length = 0;
    EXPECT_EQ(device->getFwVersion(text, &length), EAPI_STATUS_SUCCESS);
    EXPECT_EQ(length, 0u);
    EXPECT_STREQ(text, "keep");
    EXPECT_EQ(module.received(), std::vector<std::string>{"$01F\r"});
    module.setFault(sim::Fault::NoReply, 1);
    EXPECT_EQ(device->getFwVersion(text, &length), EAPI_STATUS_ERROR);
    lib().delDeviceByAddr(&device);
}

TEST_F(DeviceTest, FailedRepliesLeaveTheCallersBufferAlone) {
    auto& module = addModule("COM3");
    load();
    IatAI* device = acquire("COM3");
    const sim::Fault faults[] = {sim::Fault::NoReply, sim::Fault::WrongFirstChar};
    for (sim::Fault fault : faults) {
        SCOPED_TRACE(static_cast<int>(fault));
        module.setFault(fault, 1);
        char text[16] = "untouched";
        uint32_t length = sizeof text;
        const auto start = Clock::now();
        EXPECT_EQ(device->getDevName(text, &length), EAPI_STATUS_ERROR);
        EXPECT_GE(Clock::now() - start, milliseconds(400)); // the exchange's two pauses
        EXPECT_STREQ(text, "untouched");
        EXPECT_EQ(length, sizeof text);
        EXPECT_STREQ(internals(device).devName, "TQM-5502AI");
    }
    lib().delDeviceByAddr(&device);
}

TEST_F(DeviceTest, ALateReplyIsDiscardedByTheNextExchange) {
    auto& module = addModule("COM3");
    load();
    IatAI* device = acquire("COM3");
    module.setFault(sim::Fault::LateReply, 1);
    EApiStatus_t status = 0;
    firmware(device, 256, &status);
    EXPECT_EQ(status, EAPI_STATUS_ERROR);
    // The late firmware reply is waiting now; the name exchange must not take it as its reply.
    EXPECT_EQ(name(device, 256, &status), "TQM-5502AI");
    EXPECT_EQ(status, EAPI_STATUS_SUCCESS);
    lib().delDeviceByAddr(&device);
}

TEST_F(DeviceTest, NoiseAndOverlongLinesDoNotShiftLaterReplies) {
    auto& module = addModule("COM3");
    load();
    IatAI* device = acquire("COM3");
    EApiStatus_t status = 0;

    module.setFault(sim::Fault::NoiseBeforeReply, 1);
    EXPECT_EQ(firmware(device, 256, &status), "1.00");
    EXPECT_EQ(name(device, 256, &status), "TQM-5502AI");
    EXPECT_EQ(status, EAPI_STATUS_SUCCESS);

    module.setFault(sim::Fault::LongLine, 1);
    const std::string kept = name(device, 256, &status);
    EXPECT_EQ(status, EAPI_STATUS_SUCCESS);
    EXPECT_EQ(kept.size(), 251u); // 255 bytes kept, less "!01" and the last byte
    EXPECT_EQ(firmware(device, 256, &status), "1.00");
    lib().delDeviceByAddr(&device);
}

TEST_F(DeviceTest, AModuleThatHangsUpFailsExchangesAndReleasesCleanly) {
    auto& module = addModule("COM3");
    load();
    IatAI* device = acquire("COM3");
    module.setFault(sim::Fault::HangUp, 1);
    const auto start = Clock::now();
    EApiStatus_t status = 0;
    name(device, 256, &status);
    EXPECT_EQ(status, EAPI_STATUS_ERROR);
    firmware(device, 256, &status);
    EXPECT_EQ(status, EAPI_STATUS_ERROR);
    char value[32];
    uint32_t length = sizeof value;
    EXPECT_EQ(device->getValue(value, &length, 0), EAPI_STATUS_ERROR);
    // Three exchanges, each only its two pauses: no waiting on a dead terminal.
    EXPECT_LT(Clock::now() - start, milliseconds(3 * 400 + 1000));
    EXPECT_EQ(lib().delDeviceByAddr(&device), EAPI_STATUS_SUCCESS);
    EXPECT_EQ(device, nullptr);
}

TEST_F(DeviceTest, TwoPortsExchangeWithoutWaitingForEachOther) {
    addModule("COM3");
    addModule("COM4");
    load();
    IatAI* a = acquire("COM3");
    IatAI* b = acquire("COM4");
    struct Span {
        Clock::time_point begin, end;
        EApiStatus_t status = 0;
    } spans[2];
    auto read = [](IatAI* device, Span& span) {
        char text[32];
        uint32_t length = sizeof text;
        span.begin = Clock::now();
        span.status = device->getValue(text, &length, 1);
        span.end = Clock::now();
    };
    std::thread first(read, a, std::ref(spans[0]));
    std::thread second(read, b, std::ref(spans[1]));
    first.join();
    second.join();
    EXPECT_EQ(spans[0].status, EAPI_STATUS_SUCCESS);
    EXPECT_EQ(spans[1].status, EAPI_STATUS_SUCCESS);
    // Serialised exchanges could not overlap in time; parallel ones do.
    EXPECT_LT(spans[0].begin, spans[1].end);
    EXPECT_LT(spans[1].begin, spans[0].end);
    lib().delDeviceByAddr(&a);
    lib().delDeviceByAddr(&b);
}

// Meant for the ThreadSanitizer build as much as for the plain one: acquisitions rewrite the
// identity while another holder reads it outside the slot lock.
TEST_F(DeviceTest, ConcurrentAcquisitionsNeverTearTheIdentity) {
    writeRangeFile(exampleCatalogue());
    addModule("COM3");
    load();
    IatAI* held = acquire("COM3");
    std::atomic<bool> done{false};
    std::vector<std::string> problems;
    std::thread reader([&] {
        while (!done) {
            int32_t count = 0;
            held->getChannelNum(&count);
            _AI_VALRANGE_INFO_ info{};
            info.size = sizeof info;
            // The range lookup after the exchange reads the stored name and firmware.
            const EApiStatus_t status = held->getValRange(&info, 0);
            if (count != 2 || status != EAPI_STATUS_SUCCESS || std::string(info.unitText) != "V")
                problems.push_back("count " + std::to_string(count) + ", status " + std::to_string(status));
        }
    });
    for (int i = 0; i < 3; ++i) {
        IatAI* again = acquire("COM3");
        lib().delDeviceByAddr(&again);
    }
    done = true;
    reader.join();
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_STREQ(internals(held).devName, "TQM-5502AI");
    lib().delDeviceByAddr(&held);
}

} // namespace
} // namespace tessaro::test
