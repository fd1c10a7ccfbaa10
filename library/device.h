// The library's device object: one analog-input module on one serial port.
#pragma once

#include "os/serial_port.h"
#include "tessaro.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace tessaro {

// The open port of a device; closes it when destroyed.
struct SerialPort {
    std::string path;
    int32_t baudRate = 0;
    os::PortHandle handle = os::invalidPortHandle;

    SerialPort() = default;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    ~SerialPort() { close(); }
    void close();
};

} // namespace tessaro

namespace EApiCommon {

class atAI final : public IatAI {
public:
    atAI();
    ~atAI() override;

    EApiStatus_t getPortName(char* text, uint32_t* length) override;
    EApiStatus_t getDevName(char* text, uint32_t* length) override;
    EApiStatus_t getFwVersion(char* text, uint32_t* length) override;
    EApiStatus_t getChannelNum(int32_t* count) override;
    EApiStatus_t getValRangeCode(uint8_t* code, int32_t channel) override;
    EApiStatus_t getValRange(_AI_VALRANGE_INFO_* info, int32_t channel) override;
    EApiStatus_t setValRangeCode(uint8_t code, int32_t channel) override;
    EApiStatus_t setValRange(_AI_VALRANGE_INFO_* info, int32_t channel) override;
    EApiStatus_t getValue(char* text, uint32_t* length, int32_t channel) override;

    // Opens and configures the port; returns a connect code (0 when open).
    int32_t connect(std::string portName);
    // Reads one line (up to CR, LF or NUL) of what has arrived, without waiting.
    const char* readLine();
    // One exchange under the slot lock: pause, drop a stale line, write, pause, read the reply.
    int transact(char reply[256], const char* command);

    // Range catalogue lookups for this module's name and firmware.
    EApiStatus_t findValRange(_AI_VALRANGE_INFO_* info) const;
    EApiStatus_t findValRangeCode(_AI_VALRANGE_INFO_* info) const;

    // Clears the identity after a successful connect: no name, no firmware, 8 channels.
    void resetIdentity();

    // Registry fields, guarded by the slot lock.
    int32_t connectStatus = 0;
    int32_t refCount = 0;

    std::unique_ptr<tessaro::SerialPort> port;
    bool connected = false;
    bool inTransaction = false;
    int32_t baudRate = 115200;
    int32_t slotIndex = 0;
    std::string portName;
    char replyLine[256] = {};

    // Identity, rewritten at every acquisition while other holders may read it: guarded by
    // identityLock so that no reader sees a torn name or a raced count.
    char devName[64] = {};
    char fwVersion[64] = {};
    int32_t channelNum = 8;

private:
    struct Identity {
        std::string devName;
        std::string fwVersion;
    };
    Identity identity() const;
    int32_t channelCount() const;
    bool channelValid(int32_t channel) const;
    // Reads a name-like text from position 3 of the reply to `command` and stores it.
    EApiStatus_t readIdentityText(const char* command, char* text, uint32_t* length, char (&store)[64],
                                  bool setsChannels);
    // The range code text of a channel from position 6 of the reply, or ERROR.
    EApiStatus_t readRangeCodeText(int32_t channel, char (&text)[32]);
    EApiStatus_t sendRangeCode(int32_t channel, const char* codeText);

    mutable std::mutex identityLock;
};

} // namespace EApiCommon
