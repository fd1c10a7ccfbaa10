// The serial-port table on Linux is the port directory: every entry named COM + digits that
// resolves to a character device is a port; the first hop of its link names the driver's
// device (ttyVCP0, ttyUSB1), and a device node names itself.
#include "os/port_table.h"
#include "os/serial_port.h"

#include <cctype>
#include <climits>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro::os {

namespace {

bool isComName(const char* name) {
    if (name[0] != 'C' || name[1] != 'O' || name[2] != 'M' || name[3] == '\0')
        return false;
    for (const char* c = name + 3; *c; ++c)
        if (!std::isdigit(static_cast<unsigned char>(*c)))
            return false;
    return true;
}

// readlink's first hop, or the path itself for a device node.
bool deviceNameOf(const std::string& path, std::string& deviceName) {
    struct stat link {};
    if (lstat(path.c_str(), &link) != 0)
        return false;
    if (!S_ISLNK(link.st_mode)) {
        deviceName = path;
        return true;
    }
    std::string target(PATH_MAX, '\0');
    ssize_t size = readlink(path.c_str(), target.data(), target.size());
    if (size < 0)
        return false;
    target.resize(static_cast<size_t>(size));
    deviceName = target;
    return true;
}

} // namespace

EApiStatus_t readPortTable(std::vector<PortTableEntry>& entries) {
    entries.clear();
    const std::string dir = portDirectory();
    std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(dir.c_str()), closedir);
    if (!listing)
        return EAPI_STATUS_ERROR;
    while (const dirent* entry = readdir(listing.get())) {
        if (!isComName(entry->d_name))
            continue;
        const std::string path = dir + "/" + entry->d_name;
        struct stat target {};
        if (stat(path.c_str(), &target) != 0 || !S_ISCHR(target.st_mode))
            continue;
        PortTableEntry port{{}, entry->d_name};
        if (!deviceNameOf(path, port.deviceName))
            continue; // vanished between stat and readlink
        if (port.deviceName.size() > maxDeviceNameLength || port.portName.size() > maxPortNameLength) {
            entries.clear();
            return EAPI_STATUS_ERROR;
        }
        entries.push_back(std::move(port));
    }
    return EAPI_STATUS_SUCCESS;
}

} // namespace tessaro::os
