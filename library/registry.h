// The device registry: 32 slots, one per port number, each with the lock that serialises
// everything on that port (creation, reference counts, destruction, command exchanges).
#pragma once

#include "tessaro.h"

#include <mutex>
#include <string>

namespace tessaro {

inline constexpr int slotCount = 32;

std::mutex& slotLock(int slot);

// Maps a port name (at most 13 characters, ending in COM or com and 1 to 32) to its slot.
EApiStatus_t portNameToSlot(const std::string& portName, int* slot);

// Finds or creates the port's device, counts a reference and reads the module's identity.
EApiStatus_t acquireDevice(EApiCommon::IatAI** device, const std::string& portName);

// Gives back one reference of the port's device; destroys it at the last one.
EApiStatus_t releaseDeviceByName(const std::string& portName);

// At unload: destroys the devices still in the registry, closing their ports.
void closeHeldDevices();

} // namespace tessaro
