// The registry through its exports: port names, sharing, reference counts, releases.
#include "library_fixture.h"

#include <fstream>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

namespace tessaro::test {
namespace {

using EApiCommon::IatAI;

class RegistryTest : public LibraryTest {};

TEST_F(RegistryTest, RejectsPortNamesTheRegistryCannotMap) {
    addModule("COM3");
    load();
    // The last one is 14 characters long; 13 would pass.
    const std::string rejected[] = {"COM33", "COM0", "COM03", "COM100", "Com3", "cOM3", "COM3 ",
                                    "", "COM", "COM3x", "abcdefghijCOM3"};
    for (const std::string& name : rejected) {
        SCOPED_TRACE("port name '" + name + "'");
        StdoutCapture out;
        IatAI* device = nullptr;
        EXPECT_EQ(lib().getDevice(&device, name), EAPI_STATUS_INVALID_PARAMETER);
        EXPECT_EQ(device, nullptr);
        EXPECT_EQ(lib().delDevice(name), EAPI_STATUS_INVALID_PARAMETER);
        EXPECT_EQ(out.finish(), "");
    }
}

TEST_F(RegistryTest, MapsPortNumbersToSlotsWhereverTheMatchStarts) {
    struct Case {
        std::string name;
        int slot;
    } const cases[] = {{"COM1", 0}, {"com32", 31}, {"xCOM3", 2}, {"abcdefghiCOM9", 8}};
    for (const Case& c : cases)
        addModule(c.name);
    load();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IatAI* device = nullptr;
        ASSERT_EQ(lib().getDevice(&device, c.name), EAPI_STATUS_SUCCESS);
        EXPECT_EQ(internals(device).slotIndex, c.slot);
        EXPECT_EQ(readText([&](char* t, uint32_t* l) { return device->getPortName(t, l); }), c.name);
        EXPECT_EQ(lib().delDevice(c.name), EAPI_STATUS_SUCCESS);
    }
}

TEST_F(RegistryTest, SharesOneDevicePerPortAndClosesItAtTheLastRelease) {
    auto& module = addModule("COM3");
    load();
    IatAI* first = nullptr;
    IatAI* second = nullptr;
    ASSERT_EQ(lib().getDevice(&first, "COM3"), EAPI_STATUS_SUCCESS);
    EXPECT_EQ(internals(first).refCount, 1);
    ASSERT_EQ(lib().getDevice(&second, "COM3"), EAPI_STATUS_SUCCESS);
    EXPECT_EQ(second, first);
    EXPECT_EQ(internals(first).refCount, 2);
    // Each acquisition asks the module again.
    EXPECT_EQ(module.received(), (std::vector<std::string>{"$01M\r", "$01F\r", "$01M\r", "$01F\r"}));
    EXPECT_FALSE(portIsFree(portPath("COM3")));

    EXPECT_EQ(lib().delDevice("COM3"), EAPI_STATUS_SUCCESS);
    EXPECT_EQ(internals(first).refCount, 1);
    EXPECT_FALSE(portIsFree(portPath("COM3")));
    EXPECT_EQ(lib().delDevice("COM3"), EAPI_STATUS_SUCCESS);
    EXPECT_TRUE(portIsFree(portPath("COM3")));
    // Nothing left to release: still a success.
    EXPECT_EQ(lib().delDevice("COM3"), EAPI_STATUS_SUCCESS);
}

TEST_F(RegistryTest, AnotherSpellingOfThePortSharesTheDeviceAndKeepsItsName) {
    addModule("COM3");
    load();
    IatAI* upper = nullptr;
    IatAI* lower = nullptr;
    ASSERT_EQ(lib().getDevice(&upper, "COM3"), EAPI_STATUS_SUCCESS);
    ASSERT_EQ(lib().getDevice(&lower, "com3"), EAPI_STATUS_SUCCESS);
    EXPECT_EQ(lower, upper);
    EXPECT_EQ(readText([&](char* t, uint32_t* l) { return lower->getPortName(t, l); }), "COM3");
    EXPECT_EQ(lib().delDevice("com3"), EAPI_STATUS_SUCCESS);
    EXPECT_EQ(lib().delDevice("COM3"), EAPI_STATUS_SUCCESS);
}

TEST_F(RegistryTest, APortThatDoesNotOpenIsReportedAndLeavesTheSlotEmpty) {
    load();
    IatAI* device = nullptr;
    StdoutCapture out;
    EXPECT_EQ(lib().getDevice(&device, "COM7"), EAPI_STATUS_ERROR);
    EXPECT_EQ(out.finish(), "COM connect err=0x8 \nFailed to connect COM7\n");
    EXPECT_EQ(device, nullptr);
    // The slot is empty again: the next acquisition opens the port afresh.
    addModule("COM7");
    ASSERT_EQ(lib().getDevice(&device, "COM7"), EAPI_STATUS_SUCCESS);
    EXPECT_EQ(internals(device).refCount, 1);
    EXPECT_EQ(lib().delDeviceByAddr(&device), EAPI_STATUS_SUCCESS);
}

TEST_F(RegistryTest, PortsThatAreNotUsableTerminalsDoNotOpen) {
    load();
    // A regular file, and a port another program holds exclusively.
    { std::ofstream(portPath("COM4")) << "not a terminal"; }
    auto& held = addModule("COM5");
    int holder = open(held.portPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    for (const char* name : {"COM4", "COM5"}) {
        SCOPED_TRACE(name);
        IatAI* device = nullptr;
        StdoutCapture out;
        EXPECT_EQ(lib().getDevice(&device, name), EAPI_STATUS_ERROR);
        EXPECT_EQ(out.finish(), std::string("COM connect err=0x8 \nFailed to connect ") + name + "\n");
    }
    EXPECT_TRUE(held.received().empty());
    close(holder);
}

TEST_F(RegistryTest, InvalidArgumentsTouchNeitherRegistryNorPort) {
    auto& module = addModule("COM3");
    load();
    IatAI* notNull = reinterpret_cast<IatAI*>(0x1);
    EXPECT_EQ(lib().getDevice(nullptr, "COM3"), EAPI_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(lib().getDevice(&notNull, "COM3"), EAPI_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(lib().delDeviceByAddr(nullptr), EAPI_STATUS_INVALID_PARAMETER);
    IatAI* null = nullptr;
    EXPECT_EQ(lib().delDeviceByAddr(&null), EAPI_STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(module.received().empty());
    EXPECT_TRUE(portIsFree(module.portPath()));
}

TEST_F(RegistryTest, ReleaseByAddressNullsTheCallersPointerAndCountsPerPort) {
    addModule("COM3");
    load();
    IatAI* mine = nullptr;
    IatAI* theirs = nullptr;
    ASSERT_EQ(lib().getDevice(&mine, "COM3"), EAPI_STATUS_SUCCESS);
    ASSERT_EQ(lib().getDevice(&theirs, "COM3"), EAPI_STATUS_SUCCESS);
    EXPECT_EQ(lib().delDeviceByAddr(&mine), EAPI_STATUS_SUCCESS);
    EXPECT_EQ(mine, nullptr);
    EXPECT_EQ(internals(theirs).refCount, 1);

    // A pointer the registry does not hold is refused and left as it is.
    IatAI* stranger = reinterpret_cast<IatAI*>(&mine);
    EXPECT_EQ(lib().delDeviceByAddr(&stranger), EAPI_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(stranger, reinterpret_cast<IatAI*>(&mine));

    // References are per port: a release by name gives back whoever's reference.
    EXPECT_EQ(lib().delDevice("COM3"), EAPI_STATUS_SUCCESS);
    EXPECT_TRUE(portIsFree(portPath("COM3")));
    // The device is gone: its old pointer no longer matches any slot.
    EXPECT_EQ(lib().delDeviceByAddr(&theirs), EAPI_STATUS_INVALID_PARAMETER);
}

TEST_F(RegistryTest, AFailedIdentityQueryGivesTheReferenceBack) {
    struct Case {
        const char* what;
        void (*arrange)(sim::ModuleSimulator&);
    } const cases[] = {
        {"only the firmware query fails",
         [](sim::ModuleSimulator& m) {
             m.setNextReply("!01TQM-5502AI\r");
             m.setFault(sim::Fault::NoReply, 1);
         }},
        {"both queries fail", [](sim::ModuleSimulator& m) { m.setFault(sim::Fault::WrongFirstChar, 2); }},
    };
    auto& module = addModule("COM3");
    load();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        module.clearReceived();
        c.arrange(module);
        IatAI* device = nullptr;
        // Both failures are EAPI_STATUS_ERROR, so their bitwise OR is too.
        EXPECT_EQ(lib().getDevice(&device, "COM3"), EAPI_STATUS_ERROR);
        EXPECT_EQ(device, nullptr);
        EXPECT_EQ(module.received(), (std::vector<std::string>{"$01M\r", "$01F\r"}));
        EXPECT_TRUE(portIsFree(portPath("COM3")));
    }
}

} // namespace
} // namespace tessaro::test
