// Serial port names on Linux: the COM<n> entries of the port directory (TESSARO_PORT_DIR when
// set and not empty, else /dev) that lead to a character device, the same table the library
// enumerates. Users make the entries with udev SYMLINK rules or plain links to ttyUSB*.
#include "os/platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace Vorlith::os {

namespace {

std::string portDirectory() {
    const char* dir = std::getenv("TESSARO_PORT_DIR");
    return (dir && *dir) ? std::string(dir) : std::string("/dev");
}

bool isPortName(const char* name) {
    if (std::strncmp(name, "COM", 3) != 0 || name[3] == '\0')
        return false;
    for (const char* c = name + 3; *c; ++c)
        if (*c < '0' || *c > '9')
            return false;
    return true;
}

} // namespace

PortListing listSerialPorts() {
    PortListing listing;
    listing.source = portDirectory();
    DIR* dir = opendir(listing.source.c_str());
    if (!dir) {
        listing.failed = true;
        listing.failure = "Cannot list serial ports in " + listing.source + ": " + std::strerror(errno);
        return listing;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (!entry) {
            if (errno != 0) {
                listing.failed = true;
                listing.failure = "Cannot list serial ports in " + listing.source + ": " + std::strerror(errno);
                listing.names.clear();
            }
            break;
        }
        if (!isPortName(entry->d_name))
            continue;
        // stat follows links: a dangling COM link or a plain file is no port.
        struct stat info {};
        const std::string path = listing.source + "/" + entry->d_name;
        if (stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode))
            listing.names.emplace_back(entry->d_name);
    }
    closedir(dir);
    return listing;
}

} // namespace Vorlith::os
