// The tests' copy of libTessaro.so.1, loaded and unloaded the way callers do it, with its
// exports looked up by name. Loading reads ./ai_value_range_info.json, so write the range
// file (or not) before constructing one.
#pragma once

#include "tessaro.h"

#include <string>

namespace tessaro::test {

class TessaroLibrary {
public:
    explicit TessaroLibrary(const std::string& path = TESSARO_TEST_LIBRARY);
    ~TessaroLibrary(); // dlclose; the library must really be gone afterwards
    TessaroLibrary(const TessaroLibrary&) = delete;
    TessaroLibrary& operator=(const TessaroLibrary&) = delete;

    // Whether the library is still mapped into the process (RTLD_NOLOAD).
    static bool isResident(const std::string& path = TESSARO_TEST_LIBRARY);

    EApiAIGetDevice_t getDevice = nullptr;
    EApiAIDelDevice_t delDevice = nullptr;
    EApiAIDelDeviceByAddr_t delDeviceByAddr = nullptr;
    EApiAIGetDevices_t getDevices = nullptr;

private:
    void* handle_ = nullptr;
};

} // namespace tessaro::test
