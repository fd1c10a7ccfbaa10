// Run-time loading on Linux. dlopen must be called from code linked into the executable:
// only then does the executable's RUNPATH ($ORIGIN, $ORIGIN/../lib) take part in the search,
// so the installed tool finds libTessaro.so.1 beside itself or in ../lib.
#include "os/platform.h"

#include <dlfcn.h>

namespace Vorlith::os {

namespace {
std::string lastDlError(const char* fallback) {
    const char* text = dlerror();
    return text ? std::string(text) : std::string(fallback);
}
} // namespace

void* loadLibrary(const std::string& fileName, Failure& failure) {
    dlerror();
    void* library = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        failure = {libraryLoadErrorCode, lastDlError("dlopen failed")};
    return library;
}

void* findEntryPoint(void* library, const char* name, Failure& failure) {
    // A null handle would make dlsym search the whole process; there is no library to ask.
    if (!library) {
        failure = {entryPointErrorCode, std::string("no library loaded to look up ") + name};
        return nullptr;
    }
    dlerror();
    void* symbol = dlsym(library, name);
    if (!symbol)
        failure = {entryPointErrorCode, lastDlError("dlsym failed")};
    return symbol;
}

void freeLibrary(void* library) {
    if (library)
        dlclose(library);
}

} // namespace Vorlith::os
