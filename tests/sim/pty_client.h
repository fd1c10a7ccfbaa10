// The client side of a simulated port, opened the way the library opens a serial port: raw,
// non-blocking, reads gated by poll.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tessaro::test {

class PtyClient {
public:
    explicit PtyClient(const std::string& path);
    ~PtyClient();
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    void send(std::string_view bytes);
    // Bytes up to and including the first CR, or what came before the timeout.
    std::string readLine(std::chrono::milliseconds timeout);
    // Everything that arrives until `quiet` passes without a byte; waits up to `first` for the
    // first byte.
    std::string collect(std::chrono::milliseconds first, std::chrono::milliseconds quiet);
    // poll()'s revents for POLLIN within the timeout (0 when nothing happened).
    short waitEvents(std::chrono::milliseconds timeout);

    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

// The text of a symbolic link, or nothing when the path is not one.
std::optional<std::string> linkText(const std::filesystem::path& path);

} // namespace tessaro::test
