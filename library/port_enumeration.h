// The serial ports EApiAIGetDevices tries: VCP ports of the system's port table, in order.
#pragma once

#include "tessaro.h"

#include <string>

namespace tessaro {

inline constexpr size_t maxListedPorts = 32;

// Shorter names first, then by unsigned bytes: COM2, COM9, COM10, COM12.
bool portNameLess(const std::string& a, const std::string& b);

// Fills names with the first 32 VCP port names in that order; the rest stay empty.
EApiStatus_t listSerialPorts(std::string (&names)[maxListedPorts]);

} // namespace tessaro
