// Serial ports on Linux: termios on a non-blocking descriptor, exclusive through flock
// (which holds even for root) and TIOCEXCL.
#include "os/serial_port.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace tessaro::os {

namespace {

speed_t speedFor(int32_t baudRate) {
    switch (baudRate) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
    }
}

// VMIN = VTIME = 0 on a non-blocking descriptor: a read returns at once, with or without data.
bool setReadsReturnAtOnce(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

bool setLineSettings(int fd, int32_t baudRate) {
    const speed_t speed = speedFor(baudRate);
    termios tio{};
    if (speed == B0 || tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0; // cfmakeraw sets 1; keep reads returning at once
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0)
        return false;
    // tcsetattr succeeds when any part applied: read back what matters.
    termios got{};
    if (tcgetattr(fd, &got) != 0)
        return false;
    if (cfgetispeed(&got) != speed || cfgetospeed(&got) != speed)
        return false;
    if ((got.c_cflag & CSIZE) != CS8 || (got.c_cflag & (PARENB | CSTOPB | CRTSCTS)) != 0)
        return false;
    if ((got.c_iflag & (IXON | IXOFF | IXANY)) != 0)
        return false;
    // DTR and RTS off. A pseudo-terminal has no modem lines; that is not a failure.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd, TIOCMBIC, &lines) != 0 && errno != ENOTTY && errno != EINVAL)
        return false;
    return true;
}

void closeDescriptor(int fd) {
    ioctl(fd, TIOCNXCL); // the exclusive flag outlives close while the other side stays open
    close(fd);
}

} // namespace

std::string portDirectory() {
    const char* dir = std::getenv("TESSARO_PORT_DIR");
    return dir && *dir ? std::string(dir) : std::string("/dev");
}

std::string devicePath(const std::string& portName) { return portDirectory() + "/" + portName; }

int32_t openPort(const std::string& path, int32_t baudRate, PortHandle* handle) {
    *handle = invalidPortHandle;
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return connectOpenFailed;
    if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        closeDescriptor(fd);
        return connectOpenFailed;
    }
    // Both steps run whatever the first gave; the code is that of the last one that failed.
    int32_t code = connectOk;
    if (!setReadsReturnAtOnce(fd))
        code = connectTimeoutsRefused;
    if (!setLineSettings(fd, baudRate))
        code = connectLineSettingsRefused;
    if (code != connectOk) {
        closeDescriptor(fd);
        return code;
    }
    *handle = fd;
    return connectOk;
}

ReadResult readByte(PortHandle handle, char* byte) {
    pollfd pfd{handle, POLLIN, 0};
    int ready;
    do
        ready = poll(&pfd, 1, 0);
    while (ready < 0 && errno == EINTR);
    if (ready < 0)
        return ReadResult::gone;
    if (ready == 0)
        return ReadResult::noData;
    if (!(pfd.revents & POLLIN))
        return ReadResult::gone; // POLLHUP, POLLERR or POLLNVAL without data
    ssize_t got = read(handle, byte, 1);
    if (got == 1)
        return ReadResult::byte;
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return ReadResult::noData;
    return ReadResult::gone; // 0 bytes after POLLIN, or EIO: hung up
}

bool writeAll(PortHandle handle, const char* data, size_t size) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(50 * size + 200);
    while (size > 0) {
        ssize_t done = write(handle, data, size);
        if (done > 0) {
            data += done;
            size -= static_cast<size_t>(done);
            continue;
        }
        if (done < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
        if (left.count() <= 0)
            return false;
        pollfd pfd{handle, POLLOUT, 0};
        if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0 || (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)))
            return false;
    }
    return true;
}

void closePort(PortHandle handle) {
    if (handle != invalidPortHandle)
        closeDescriptor(handle);
}

} // namespace tessaro::os
