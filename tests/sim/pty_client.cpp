#include "pty_client.h"

#include <cerrno>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace tessaro::test {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

PtyClient::PtyClient(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        throw std::system_error(errno, std::generic_category(), "open " + path);
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        int error = errno;
        ::close(fd_);
        throw std::system_error(error, std::generic_category(), "tcgetattr " + path);
    }
    ::cfmakeraw(&tio);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::tcsetattr(fd_, TCSANOW, &tio);
}

PtyClient::~PtyClient() {
    ::close(fd_);
}

void PtyClient::send(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw std::system_error(errno, std::generic_category(), "write");
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

short PtyClient::waitEvents(milliseconds timeout) {
    pollfd p{fd_, POLLIN, 0};
    int r = ::poll(&p, 1, static_cast<int>(timeout.count()));
    return r > 0 ? p.revents : 0;
}

std::string PtyClient::readLine(milliseconds timeout) {
    std::string line;
    auto deadline = Clock::now() + timeout;
    while (line.empty() || line.back() != '\r') {
        auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        if (!(waitEvents(left) & POLLIN))
            break;
        char c;
        // One byte at a time, so whatever follows the CR stays for the next read.
        if (::read(fd_, &c, 1) != 1)
            break;
        line += c;
    }
    return line;
}

std::string PtyClient::collect(milliseconds first, milliseconds quiet) {
    std::string bytes;
    milliseconds wait = first;
    while (waitEvents(wait) & POLLIN) {
        char buffer[512];
        ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, static_cast<size_t>(n));
        wait = quiet;
    }
    return bytes;
}

std::optional<std::string> linkText(const std::filesystem::path& path) {
    std::error_code ec;
    auto target = std::filesystem::read_symlink(path, ec);
    if (ec)
        return std::nullopt;
    return target.string();
}

} // namespace tessaro::test
