// The device registry and the exports that hand out and take back device objects.
#include "registry.h"

#include "device.h"

#include <atomic>
#include <cstdio>
#include <iostream>
#include <memory>
#include <regex>

using EApiCommon::atAI;

namespace tessaro {

namespace {

// Zero-initialised storage: no code runs at load. Entries are written under their slot lock;
// they are atomic because EApiAIDelDeviceByAddr looks for a pointer without taking locks.
std::atomic<atAI*> slots[slotCount];
// std::mutex is constant-initialised and trivially destructible: ready before the load hook.
std::mutex slotLocks[slotCount];

constexpr size_t maxPortNameLength = 13;

// Under the slot lock: gives back one reference and destroys the device at the last one, or
// at once when its port never opened.
void releaseLocked(int slot) {
    atAI* device = slots[slot].load();
    if (!device)
        return;
    --device->refCount;
    if (device->connectStatus != 0 || device->refCount <= 0) {
        slots[slot].store(nullptr);
        delete device;
    }
}

} // namespace

std::mutex& slotLock(int slot) { return slotLocks[slot]; }

EApiStatus_t portNameToSlot(const std::string& portName, int* slot) {
    if (portName.size() > maxPortNameLength)
        return EAPI_STATUS_INVALID_PARAMETER;
    const std::regex pattern("(COM|com)([1-9]\\d?)$", std::regex::ECMAScript);
    std::smatch match;
    if (!std::regex_search(portName, match, pattern))
        return EAPI_STATUS_INVALID_PARAMETER;
    const int index = std::stoi(match[2].str()) - 1;
    if (index > slotCount - 1)
        return EAPI_STATUS_INVALID_PARAMETER;
    *slot = index;
    return EAPI_STATUS_SUCCESS;
}

EApiStatus_t acquireDevice(EApiCommon::IatAI** device, const std::string& portName) {
    if (!device || *device)
        return EAPI_STATUS_INVALID_PARAMETER;
    int slot = 0;
    if (EApiStatus_t status = portNameToSlot(portName, &slot); status != EAPI_STATUS_SUCCESS)
        return status;

    atAI* dev = nullptr;
    {
        std::lock_guard lock(slotLocks[slot]);
        dev = slots[slot].load();
        if (!dev) {
            auto created = std::make_unique<atAI>();
            if (int32_t code = created->connect(portName); code != 0) {
                created->connectStatus = code;
                std::printf("COM connect err=0x%X \n", static_cast<unsigned>(code));
            } else {
                created->resetIdentity();
            }
            created->slotIndex = slot;
            created->portName = portName;
            dev = created.release();
            slots[slot].store(dev);
        }
        ++dev->refCount;
    }

    if (dev->connectStatus != 0) {
        std::cout << "Failed to connect " << portName << std::endl;
        return EAPI_STATUS_ERROR;
    }
    // Asked again at every acquisition; the device stores what the module answers.
    char name[64];
    char firmware[64];
    uint32_t length = sizeof name;
    EApiStatus_t result = dev->getDevName(name, &length);
    length = sizeof firmware;
    result |= dev->getFwVersion(firmware, &length);
    if (result == EAPI_STATUS_SUCCESS)
        *device = dev;
    return result;
}

EApiStatus_t releaseDeviceByName(const std::string& portName) {
    if (portName.empty())
        return EAPI_STATUS_INVALID_PARAMETER;
    int slot = 0;
    if (EApiStatus_t status = portNameToSlot(portName, &slot); status != EAPI_STATUS_SUCCESS)
        return status;
    std::lock_guard lock(slotLocks[slot]);
    releaseLocked(slot);
    return EAPI_STATUS_SUCCESS;
}

void closeHeldDevices() {
    for (int slot = 0; slot < slotCount; ++slot) {
        std::lock_guard lock(slotLocks[slot]);
        delete slots[slot].exchange(nullptr);
    }
}

} // namespace tessaro

extern "C" {

TESSARO_API EApiStatus_t EApiAIGetDevice(EApiCommon::IatAI** device, std::string portName) {
    if (!device || *device)
        return EAPI_STATUS_INVALID_PARAMETER;
    const EApiStatus_t result = tessaro::acquireDevice(device, portName);
    if (result != EAPI_STATUS_SUCCESS)
        tessaro::releaseDeviceByName(portName); // gives back the reference the attempt took
    return result;
}

TESSARO_API EApiStatus_t EApiAIDelDevice(std::string portName) {
    if (portName.empty())
        return EAPI_STATUS_INVALID_PARAMETER;
    return tessaro::releaseDeviceByName(portName);
}

TESSARO_API EApiStatus_t EApiAIDelDeviceByAddr(EApiCommon::IatAI** device) {
    if (!device || !*device)
        return EAPI_STATUS_INVALID_PARAMETER;
    for (int slot = 0; slot < tessaro::slotCount; ++slot) {
        if (tessaro::slots[slot].load() != *device)
            continue;
        {
            std::lock_guard lock(tessaro::slotLocks[slot]);
            // The slot may have been emptied or refilled since the scan: release only the
            // caller's own device.
            if (tessaro::slots[slot].load() == *device)
                tessaro::releaseLocked(slot);
        }
        *device = nullptr;
        return EAPI_STATUS_SUCCESS;
    }
    return EAPI_STATUS_INVALID_PARAMETER;
}

} // extern "C"
