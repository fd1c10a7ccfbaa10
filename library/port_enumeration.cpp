// EApiAIGetDevices: the devices of every module reachable on a VCP port, in port-name order.
#include "port_enumeration.h"

#include "os/port_table.h"
#include "registry.h"

#include <algorithm>
#include <regex>

namespace tessaro {

bool portNameLess(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return a.size() < b.size();
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

EApiStatus_t listSerialPorts(std::string (&names)[maxListedPorts]) {
    std::vector<os::PortTableEntry> table;
    if (os::readPortTable(table) != EAPI_STATUS_SUCCESS)
        return EAPI_STATUS_ERROR;
    const std::regex vcp("VCP", std::regex::ECMAScript | std::regex::icase);
    std::vector<std::string> listed;
    for (const auto& entry : table)
        if (std::regex_search(entry.deviceName, vcp))
            listed.push_back(entry.portName);
    // Sorting all of them before keeping the first 32 makes the cut independent of the
    // order in which the system happens to list its ports.
    std::sort(listed.begin(), listed.end(), portNameLess);
    const size_t kept = std::min(listed.size(), static_cast<size_t>(maxListedPorts));
    for (size_t i = 0; i < maxListedPorts; ++i)
        names[i] = i < kept ? listed[i] : std::string();
    return EAPI_STATUS_SUCCESS;
}

} // namespace tessaro

extern "C" TESSARO_API EApiStatus_t EApiAIGetDevices(EApiCommon::IatAI** devices, uint32_t* count) {
    if (!devices || !count || *count == 0)
        return EAPI_STATUS_INVALID_PARAMETER;
    const uint32_t capacity = *count;
    for (uint32_t i = 0; i < capacity; ++i)
        if (devices[i])
            return EAPI_STATUS_INVALID_PARAMETER;

    std::string names[tessaro::maxListedPorts];
    if (EApiStatus_t status = tessaro::listSerialPorts(names); status != EAPI_STATUS_SUCCESS)
        return status;

    uint32_t stored = 0;
    for (const std::string& name : names) {
        if (name.empty())
            break;
        EApiCommon::IatAI* device = nullptr;
        if (tessaro::acquireDevice(&device, name) != EAPI_STATUS_SUCCESS) {
            tessaro::releaseDeviceByName(name);
            continue;
        }
        if (stored == capacity) {
            tessaro::releaseDeviceByName(name);
            return EAPI_STATUS_MORE_DATA;
        }
        devices[stored++] = device;
    }
    *count = stored;
    return EAPI_STATUS_SUCCESS;
}
