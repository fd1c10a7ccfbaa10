// The serial-port service the portable core needs from the operating system: open and
// configure a port exclusively, read one byte without waiting, write with a deadline, close.
// One implementation per OS lives in os/<name>/serial_port.cpp; the build picks one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaro::os {

using PortHandle = int;
inline constexpr PortHandle invalidPortHandle = -1;

// Connect codes, as the device object reports them: the code of the last step that failed.
inline constexpr int32_t connectOk = 0;
inline constexpr int32_t connectEventMaskRefused = 1;
inline constexpr int32_t connectTimeoutsRefused = 2;
inline constexpr int32_t connectLineSettingsRefused = 4;
inline constexpr int32_t connectOpenFailed = 8;

// The path a port name opens: the port directory ($TESSARO_PORT_DIR, else /dev) + "/" + name.
std::string portDirectory();
std::string devicePath(const std::string& portName);

// Opens the path exclusively at baudRate 8N1, raw, no flow control, reads returning at once.
// On success stores the handle and returns connectOk; on failure the port is closed again.
int32_t openPort(const std::string& path, int32_t baudRate, PortHandle* handle);

enum class ReadResult { byte, noData, gone };
// Reads one byte if one has arrived; never waits. `gone` means the device hung up.
ReadResult readByte(PortHandle handle, char* byte);

// Writes all bytes, giving up after 50 ms per byte + 200 ms. Returns whether all went out.
bool writeAll(PortHandle handle, const char* data, size_t size);

void closePort(PortHandle handle);

} // namespace tessaro::os
