// One device cycle: what every user operation (Search, Apply, Refresh) runs around its own
// steps. The library is loaded by file name for the cycle only, so each operation starts from
// a freshly loaded library (which re-reads its range file) and leaves nothing loaded.
#pragma once

#include "tessaro.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

namespace Vorlith {

// What a cycle hands to an operation's steps. Everything here lives for one cycle only.
struct DeviceCycle {
    EApiCommon::IatAI* patAI[1] = {nullptr}; // patAI[0] is the device pointer
    std::string portName;
    char text[256] = {};                     // every text result of the cycle in turn
    uint32_t length = sizeof text;           // reset to 256 before every text call
    _AI_VALRANGE_INFO_ range{};              // reused for every channel of the cycle
    EApiStatus_t status = EAPI_STATUS_SUCCESS;

    EApiCommon::IatAI* device() const { return patAI[0]; }
    void resetLength() { length = sizeof text; }
};

// How the tool reaches the outside world; the tests replace both.
struct ToolServices {
    std::string libraryName = TESSARO_LIBRARY_NAME;
    // Shows a library-binding failure. Empty: a modal message box with an OK button.
    std::function<void(const QString& text)> showMessage;
};

// Shows "Error code: <code>\nError: Failed to load library!" after writing the platform's
// reason to standard output.
void reportLoadFailure(const ToolServices& services, int code, const std::string& reason);

// Runs one cycle on portText: load, look up EApiAIDelDevice and EApiAIGetDevice (lookUpLine
// names the operation in the look-up message), obtain the device, run steps on it, release
// it under the name getPortName reports, unload. steps runs only when the device was obtained.
void runDeviceCycle(const ToolServices& services, int lookUpLine, const QString& portText,
                    const std::function<void(DeviceCycle&)>& steps);

} // namespace Vorlith
