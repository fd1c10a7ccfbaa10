#include "tessaro_library.h"

#include <dlfcn.h>
#include <stdexcept>

namespace tessaro::test {

namespace {
template <typename T> T lookUp(void* handle, const char* name) {
    void* symbol = dlsym(handle, name);
    if (!symbol)
        throw std::runtime_error(std::string("missing export ") + name);
    return reinterpret_cast<T>(symbol);
}
} // namespace

TessaroLibrary::TessaroLibrary(const std::string& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_)
        throw std::runtime_error(std::string("dlopen: ") + dlerror());
    getDevice = lookUp<EApiAIGetDevice_t>(handle_, "EApiAIGetDevice");
    delDevice = lookUp<EApiAIDelDevice_t>(handle_, "EApiAIDelDevice");
    delDeviceByAddr = lookUp<EApiAIDelDeviceByAddr_t>(handle_, "EApiAIDelDeviceByAddr");
    getDevices = lookUp<EApiAIGetDevices_t>(handle_, "EApiAIGetDevices");
}

TessaroLibrary::~TessaroLibrary() {
    if (handle_)
        dlclose(handle_);
}

bool TessaroLibrary::isResident(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return false;
    dlclose(handle);
    return true;
}

} // namespace tessaro::test
