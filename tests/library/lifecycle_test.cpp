// Loading and unloading the library: the range file is read at every load, the registry
// starts empty, and an unload leaves nothing of the library behind.
#include "library_fixture.h"

#include <cstring>
#include <dirent.h>

namespace tessaro::test {
namespace {

using EApiCommon::IatAI;

size_t openDescriptors() {
    size_t count = 0;
    DIR* fds = opendir("/proc/self/fd");
    while (readdir(fds))
        ++count;
    closedir(fds);
    return count;
}

std::string rangeOfChannel0(IatAI* device, EApiStatus_t* status) {
    _AI_VALRANGE_INFO_ info{};
    info.size = sizeof info;
    *status = device->getValRange(&info, 0);
    return std::to_string(info.minimum) + "~" + std::to_string(info.maximum) + info.unitText;
}

class LifecycleTest : public LibraryTest {};

TEST_F(LifecycleTest, EveryLoadStartsAfreshAndAnUnloadReallyUnloads) {
    writeRangeFile(exampleCatalogue());
    addModule("COM3");
    load();
    IatAI* device = nullptr;
    ASSERT_EQ(lib().getDevice(&device, "COM3"), EAPI_STATUS_SUCCESS);
    EApiStatus_t status = 0;
    EXPECT_EQ(rangeOfChannel0(device, &status), "0~10V");
    EXPECT_EQ(status, EAPI_STATUS_SUCCESS);
    ASSERT_EQ(lib().delDeviceByAddr(&device), EAPI_STATUS_SUCCESS);
    unload();
    EXPECT_FALSE(TessaroLibrary::isResident());

    // The same code now means something else.
    writeRangeFile(R"({"TQM-5502AI": {"fwVerOrder": ["1.00"], "rangeInfo": {
        "0A": {"valRangeCode": "0A", "minValue": -5, "maxValue": 5, "unit": "V", "fwVer": "1.00"}}}})");
    load();
    ASSERT_EQ(lib().getDevice(&device, "COM3"), EAPI_STATUS_SUCCESS);
    EXPECT_EQ(internals(device).refCount, 1); // the registry started empty
    EXPECT_EQ(rangeOfChannel0(device, &status), "-5~5V");
    EXPECT_EQ(status, EAPI_STATUS_SUCCESS);
    EXPECT_EQ(lib().delDeviceByAddr(&device), EAPI_STATUS_SUCCESS);
}

TEST_F(LifecycleTest, WithoutARangeFileTheRegistryWorksAndRangesFail) {
    addModule("COM3");
    StdoutCapture out;
    load();
    EXPECT_EQ(out.finish(), "Cannot find AI value range info!\n");
    IatAI* device = nullptr;
    ASSERT_EQ(lib().getDevice(&device, "COM3"), EAPI_STATUS_SUCCESS);
    EApiStatus_t status = 0;
    rangeOfChannel0(device, &status);
    EXPECT_EQ(status, EAPI_STATUS_ERROR);
    _AI_VALRANGE_INFO_ info{};
    info.size = sizeof info;
    info.maximum = 10;
    std::strcpy(info.unitText, "V");
    EXPECT_EQ(device->setValRange(&info, 0), EAPI_STATUS_ERROR);
    EXPECT_EQ(lib().delDeviceByAddr(&device), EAPI_STATUS_SUCCESS);
}

TEST_F(LifecycleTest, UnloadClosesDevicesCallersStillHold) {
    writeRangeFile(exampleCatalogue());
    addModule("COM3");
    addModule("COM4", eightChannelModule());
    load(); // the first load maps the C++ runtime's own descriptors, if any
    unload();
    const size_t before = openDescriptors();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        load();
        IatAI* a = nullptr;
        IatAI* b = nullptr;
        ASSERT_EQ(lib().getDevice(&a, "COM3"), EAPI_STATUS_SUCCESS);
        ASSERT_EQ(lib().getDevice(&b, "COM4"), EAPI_STATUS_SUCCESS);
        EXPECT_FALSE(portIsFree(portPath("COM3")));
        unload(); // without giving the devices back
        EXPECT_TRUE(portIsFree(portPath("COM3")));
        EXPECT_TRUE(portIsFree(portPath("COM4")));
    }
    EXPECT_EQ(openDescriptors(), before);
}

} // namespace
} // namespace tessaro::test
