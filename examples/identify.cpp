// A small caller of Tessaro: loads the library at run time, acquires the module on each port
// named on the command line, prints what it reports and gives it back.
//
//   tessaro-identify COM3 [COM4 ...]
#include "tessaro.h"

#include <cstdio>
#include <dlfcn.h>

namespace {

void printText(EApiCommon::IatAI* device, const char* label,
               EApiStatus_t (EApiCommon::IatAI::*read)(char*, uint32_t*)) {
    char text[256] = {};
    uint32_t length = sizeof text;
    EApiStatus_t status = (device->*read)(text, &length);
    if (status == EAPI_STATUS_SUCCESS)
        std::printf("  %-9s %s\n", label, text);
    else
        std::printf("  %-9s failed, status 0x%X\n", label, status);
}

int identify(EApiAIGetDevice_t getDevice, EApiAIDelDeviceByAddr_t delDevice, const char* port) {
    EApiCommon::IatAI* device = nullptr;
    EApiStatus_t status = getDevice(&device, port);
    if (status != EAPI_STATUS_SUCCESS) {
        std::printf("%s: no module (status 0x%X)\n", port, status);
        return 1;
    }
    std::printf("%s:\n", port);
    printText(device, "name", &EApiCommon::IatAI::getDevName);
    printText(device, "firmware", &EApiCommon::IatAI::getFwVersion);
    int32_t channels = 0;
    device->getChannelNum(&channels);
    std::printf("  %-9s %d\n", "channels", channels);
    delDevice(&device);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PORT [PORT ...]   (e.g. COM3; ports live in $TESSARO_PORT_DIR or /dev)\n", argv[0]);
        return 2;
    }
    void* library = dlopen(TESSARO_LIBRARY_NAME, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "cannot load %s: %s\n", TESSARO_LIBRARY_NAME, dlerror());
        return 1;
    }
    auto getDevice = reinterpret_cast<EApiAIGetDevice_t>(dlsym(library, "EApiAIGetDevice"));
    auto delDevice = reinterpret_cast<EApiAIDelDeviceByAddr_t>(dlsym(library, "EApiAIDelDeviceByAddr"));
    int failures = 0;
    if (!getDevice || !delDevice) {
        std::fprintf(stderr, "%s lacks its exports\n", TESSARO_LIBRARY_NAME);
        failures = 1;
    } else {
        for (int i = 1; i < argc; ++i)
            failures += identify(getDevice, delDevice, argv[i]);
    }
    dlclose(library);
    return failures == 0 ? 0 : 1;
}
