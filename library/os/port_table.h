// The operating system's table of serial ports: each entry pairs the driver's device name
// with the port name users know it by (COM3).
#pragma once

#include "tessaro.h"

#include <string>
#include <vector>

namespace tessaro::os {

struct PortTableEntry {
    std::string deviceName; // e.g. "ttyVCP0": the driver's name for the device
    std::string portName;   // e.g. "COM3"
};

// Longest names the table admits; a longer one fails the whole listing.
inline constexpr size_t maxDeviceNameLength = 127;
inline constexpr size_t maxPortNameLength = 15;

// Fills entries in no particular order. EAPI_STATUS_ERROR when the table cannot be read or
// holds a name beyond the limits (entries are then left empty).
EApiStatus_t readPortTable(std::vector<PortTableEntry>& entries);

} // namespace tessaro::os
