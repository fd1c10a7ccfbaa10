#include "device_cycle.h"

#include "marshal.h"
#include "os/platform.h"

#include <cstdio>
#include <iostream>

namespace Vorlith {

namespace {

// Frees the cycle's library on every way out, exceptions from the library included.
class LibraryHandle {
public:
    explicit LibraryHandle(void* library) : library_(library) {}
    ~LibraryHandle() { os::freeLibrary(library_); }
    LibraryHandle(const LibraryHandle&) = delete;
    LibraryHandle& operator=(const LibraryHandle&) = delete;
    void* get() const { return library_; }

private:
    void* library_;
};

void showBindingMessage(const ToolServices& services, const os::Failure& failure, const QString& text) {
    // The platform's own words go to standard output; the box carries only the code.
    std::cout << failure.text << std::endl;
    services.showMessage(text);
}

void release(DeviceCycle& cycle, EApiAIDelDevice_t delDevice) {
    if (!cycle.device())
        return;
    cycle.resetLength();
    cycle.status = cycle.device()->getPortName(cycle.text, &cycle.length);
    if (cycle.status == EAPI_STATUS_SUCCESS) {
        // Released under the name the device reports, whatever the list showed.
        delDevice(std::string(cycle.text));
    } else {
        std::cout << "Get port name failed. Cannot delete device " << 0 << std::endl;
    }
}

} // namespace

void reportLoadFailure(const ToolServices& services, int code, const std::string& reason) {
    showBindingMessage(services, os::Failure{code, reason},
                       QStringLiteral("Error code: %1\nError: Failed to load library!").arg(code));
}

void runDeviceCycle(const ToolServices& services, int lookUpLine, const QString& portText,
                    const std::function<void(DeviceCycle&)>& steps) {
    os::Failure failure;
    LibraryHandle library(os::loadLibrary(services.libraryName, failure));
    if (!library.get())
        reportLoadFailure(services, failure.code, failure.text);

    DeviceCycle cycle;
    cycle.range.size = sizeof(_AI_VALRANGE_INFO_);

    // Both are looked up before either is checked, so the code is the one after the second.
    auto delDevice = reinterpret_cast<EApiAIDelDevice_t>(
        os::findEntryPoint(library.get(), "EApiAIDelDevice", failure));
    auto getDevice = reinterpret_cast<EApiAIGetDevice_t>(
        os::findEntryPoint(library.get(), "EApiAIGetDevice", failure));
    if (!delDevice || !getDevice) {
        showBindingMessage(services, failure,
                           QStringLiteral("Error code: %1\nLine %2 Error: Failed to load library!")
                               .arg(failure.code)
                               .arg(lookUpLine));
        return;
    }

    cycle.patAI[0] = nullptr;
    MarshalString(portText, cycle.portName);
    cycle.status = getDevice(cycle.patAI, cycle.portName);
    if (cycle.status == EAPI_STATUS_SUCCESS) {
        std::cout << "\n========== AI information " << 0 << " ==========\n";
        std::printf("Get device success. Address of patAI[%d]: %p, patAI[%d]: %p \n", 0,
                    static_cast<void*>(&cycle.patAI[0]), 0, static_cast<void*>(cycle.patAI[0]));
        steps(cycle);
    }
    // A failed acquisition that still stored a device is given back as well.
    release(cycle, delDevice);
}

} // namespace Vorlith
