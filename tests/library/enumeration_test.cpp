// EApiAIGetDevices: which ports are tried, in which order, and what the caller gets back.
#include "library_fixture.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

namespace tessaro::test {
namespace {

using EApiCommon::IatAI;

class EnumerationTest : public LibraryTest {
protected:
    sim::ModuleSimulator& addVcpModule(int number, sim::ModuleConfig config = twoChannelModule()) {
        const std::string n = std::to_string(number);
        return addModule("COM" + n, std::move(config), "ttyVCP" + n);
    }
    // A port table entry that is a character device but has no module behind it.
    void addDeadEntry(const std::string& portName, const std::string& alias) {
        std::filesystem::create_symlink("/dev/null", dir().portDir() + "/" + alias);
        std::filesystem::create_symlink(alias, dir().portDir() + "/" + portName);
    }

    std::vector<std::string> getDevices(uint32_t capacity, EApiStatus_t expected, uint32_t expectedCount) {
        std::vector<IatAI*> devices(capacity + 1, nullptr); // one more, to see nothing is written past
        uint32_t count = capacity;
        EXPECT_EQ(lib().getDevices(devices.data(), &count), expected);
        EXPECT_EQ(count, expectedCount);
        EXPECT_EQ(devices[capacity], nullptr);
        std::vector<std::string> names;
        for (uint32_t i = 0; i < expectedCount; ++i) {
            names.push_back(readText([&](char* t, uint32_t* l) { return devices[i]->getPortName(t, l); }));
            EXPECT_EQ(internals(devices[i]).refCount, 1);
        }
        held_.insert(held_.end(), devices.begin(), devices.begin() + expectedCount);
        return names;
    }

    void TearDown() override {
        for (IatAI* device : held_)
            lib().delDeviceByAddr(&device);
        LibraryTest::TearDown();
    }

private:
    std::vector<IatAI*> held_;
};

TEST_F(EnumerationTest, ReturnsVcpPortsShortestNameFirst) {
    addVcpModule(10);
    addVcpModule(2);
    addVcpModule(9, eightChannelModule());
    load();
    EXPECT_EQ(getDevices(8, EAPI_STATUS_SUCCESS, 3), (std::vector<std::string>{"COM2", "COM9", "COM10"}));
}

TEST_F(EnumerationTest, PortsOfOtherDriversAreNeitherListedNorOpened) {
    auto& plain = addModule("COM4");                      // links straight to the pty
    auto& usb = addModule("COM5", twoChannelModule(), "ttyUSB5");
    addModule("COM6", twoChannelModule(), "ttyvcp6");     // VCP in any case qualifies
    load();
    EXPECT_EQ(getDevices(4, EAPI_STATUS_SUCCESS, 1), std::vector<std::string>{"COM6"});
    EXPECT_TRUE(plain.received().empty());
    EXPECT_TRUE(usb.received().empty());
}

TEST_F(EnumerationTest, AFullArrayStopsAtOnceAndReleasesTheDeviceThatDidNotFit) {
    addVcpModule(2);
    auto& second = addVcpModule(3);
    auto& third = addVcpModule(4);
    load();
    EXPECT_EQ(getDevices(1, EAPI_STATUS_MORE_DATA, 1), std::vector<std::string>{"COM2"});
    EXPECT_EQ(second.received().size(), 2u); // acquired, did not fit, given back
    EXPECT_TRUE(portIsFree(second.portPath()));
    EXPECT_TRUE(third.received().empty());   // never tried
}

TEST_F(EnumerationTest, ExactlyAsManyPortsAsTheCapacity) {
    addVcpModule(2);
    addVcpModule(3);
    load();
    EXPECT_EQ(getDevices(2, EAPI_STATUS_SUCCESS, 2), (std::vector<std::string>{"COM2", "COM3"}));
}

TEST_F(EnumerationTest, NoQualifyingPortIsAnEmptySuccess) {
    addModule("COM4");
    load();
    getDevices(4, EAPI_STATUS_SUCCESS, 0);
}

TEST_F(EnumerationTest, PortsThatFailAreLeftOutAndTheRestReturned) {
    addVcpModule(2);
    auto& busy = addVcpModule(3);    // another program holds it
    auto& silent = addVcpModule(5);  // opens, but its module does not answer
    addVcpModule(7);
    addDeadEntry("COM40", "ttyVCP40"); // a number the registry refuses
    silent.setFault(sim::Fault::NoReply);
    int holder = open(busy.portPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    load();
    StdoutCapture out;
    const auto names = getDevices(8, EAPI_STATUS_SUCCESS, 2);
    EXPECT_EQ(out.finish(), "COM connect err=0x8 \nFailed to connect COM3\n"); // nothing for COM40
    EXPECT_EQ(names, (std::vector<std::string>{"COM2", "COM7"}));
    EXPECT_TRUE(portIsFree(silent.portPath()));
    close(holder);
}

TEST_F(EnumerationTest, APortAnotherCallerHoldsIsSharedAndAskedAgain) {
    auto& module = addVcpModule(2);
    load();
    IatAI* mine = nullptr;
    ASSERT_EQ(lib().getDevice(&mine, "COM2"), EAPI_STATUS_SUCCESS);
    IatAI* devices[1] = {nullptr};
    uint32_t count = 1;
    ASSERT_EQ(lib().getDevices(devices, &count), EAPI_STATUS_SUCCESS);
    EXPECT_EQ(devices[0], mine);
    EXPECT_EQ(internals(mine).refCount, 2);
    EXPECT_EQ(module.received().size(), 4u);
    lib().delDeviceByAddr(&devices[0]);
    lib().delDeviceByAddr(&mine);
}

TEST_F(EnumerationTest, BadArgumentsOpenNothing) {
    auto& module = addVcpModule(2);
    load();
    IatAI* devices[2] = {nullptr, reinterpret_cast<IatAI*>(&module)};
    uint32_t count = 2;
    EXPECT_EQ(lib().getDevices(devices, &count), EAPI_STATUS_INVALID_PARAMETER); // second entry not null
    EXPECT_EQ(count, 2u);
    count = 0;
    EXPECT_EQ(lib().getDevices(devices, &count), EAPI_STATUS_INVALID_PARAMETER);
    count = 1;
    EXPECT_EQ(lib().getDevices(nullptr, &count), EAPI_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(lib().getDevices(devices, nullptr), EAPI_STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(module.received().empty());
}

TEST_F(EnumerationTest, NamesBeyondTheTablesLimitsFailTheListing) {
    struct Case {
        std::string portName;
        std::string deviceName;
    } const cases[] = {
        {"COM" + std::string(13, '1'), "ttyVCP99"},        // a 16-character port name
        {"COM5", "ttyVCP" + std::string(122, 'x')},         // a 128-character device name
    };
    auto& module = addVcpModule(2);
    load();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.portName + " -> " + c.deviceName);
        addDeadEntry(c.portName, c.deviceName);
        IatAI* devices[4] = {};
        uint32_t count = 4;
        EXPECT_EQ(lib().getDevices(devices, &count), EAPI_STATUS_ERROR);
        EXPECT_EQ(count, 4u);
        std::filesystem::remove(dir().portDir() + "/" + c.portName);
    }
    EXPECT_TRUE(module.received().empty());
    // Right at the limits the listing works.
    addDeadEntry("COM" + std::string(12, '1'), "ttyVCP" + std::string(121, 'x'));
    EXPECT_EQ(getDevices(4, EAPI_STATUS_SUCCESS, 1), std::vector<std::string>{"COM2"});
}

TEST_F(EnumerationTest, MoreThanThirtyTwoPortsKeepTheFirstInNameOrder) {
    // Thirty-two entries the registry refuses, and one real module that sorts before them all.
    for (int number = 33; number < 65; ++number)
        addDeadEntry("COM" + std::to_string(number), "ttyVCP" + std::to_string(number));
    addVcpModule(9);
    load();
    EXPECT_EQ(getDevices(4, EAPI_STATUS_SUCCESS, 1), std::vector<std::string>{"COM9"});
}

// One port after another: 32 identity exchanges of 800 ms each.
TEST_F(EnumerationTest, ThirtyTwoAnsweringPorts) {
    for (int number = 1; number <= 32; ++number)
        addVcpModule(number);
    load();
    const auto names = getDevices(32, EAPI_STATUS_SUCCESS, 32);
    ASSERT_EQ(names.size(), 32u);
    EXPECT_EQ(names.front(), "COM1");
    EXPECT_EQ(names[9], "COM10");
    EXPECT_EQ(names.back(), "COM32");
}

} // namespace
} // namespace tessaro::test
