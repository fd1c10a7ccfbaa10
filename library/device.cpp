#include "device.h"

#include "range_catalogue.h"
#include "range_query.h"
#include "registry.h"
#include "reply_text.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace tessaro {

void SerialPort::close() {
    os::closePort(handle);
    handle = os::invalidPortHandle;
}

} // namespace tessaro

namespace EApiCommon {

using namespace std::chrono_literals;
using tessaro::os::ReadResult;

namespace {
// A babbling module must not keep readLine busy: this much of an over-long line is dropped.
constexpr size_t maxDiscardedBytes = 64 * 1024;

bool endsLine(char c) { return c == '\r' || c == '\n' || c == '\0'; }
} // namespace

atAI::atAI() : port(std::make_unique<tessaro::SerialPort>()) {}

atAI::~atAI() {
    connected = false;
    std::this_thread::sleep_for(200ms);
    port->close();
}

int32_t atAI::connect(std::string name) {
    if (connected)
        return tessaro::os::connectOk;
    port->close();
    port->path = tessaro::os::devicePath(name);
    port->baudRate = baudRate;
    const int32_t code = tessaro::os::openPort(port->path, baudRate, &port->handle);
    if (code != tessaro::os::connectOk)
        return code;
    connected = true;
    return tessaro::os::connectOk;
}

void atAI::resetIdentity() {
    std::lock_guard lock(identityLock);
    std::memset(devName, 0, sizeof devName);
    std::memset(fwVersion, 0, sizeof fwVersion);
    channelNum = 8;
}

const char* atAI::readLine() {
    std::memset(replyLine, 0, sizeof replyLine);
    if (port->handle == tessaro::os::invalidPortHandle)
        return replyLine;
    size_t stored = 0;
    char byte = 0;
    while (stored < sizeof replyLine - 1) {
        if (tessaro::os::readByte(port->handle, &byte) != ReadResult::byte)
            return replyLine;
        replyLine[stored++] = byte;
        if (endsLine(byte))
            return replyLine;
    }
    // The line is longer than we keep: drop the rest of it now, so that the next exchange
    // does not mistake its tail for a stale reply and drop that instead.
    for (size_t dropped = 0; dropped < maxDiscardedBytes; ++dropped)
        if (tessaro::os::readByte(port->handle, &byte) != ReadResult::byte || endsLine(byte))
            break;
    return replyLine;
}

int atAI::transact(char reply[256], const char* command) {
    std::lock_guard lock(tessaro::slotLock(slotIndex));
    inTransaction = true;
    std::this_thread::sleep_for(200ms);
    readLine(); // a late reply or noise since the last exchange
    if (port->handle != tessaro::os::invalidPortHandle)
        tessaro::os::writeAll(port->handle, command, std::strlen(command));
    std::this_thread::sleep_for(200ms);
    readLine();
    std::memcpy(reply, replyLine, sizeof replyLine);
    inTransaction = false;
    return 0;
}

atAI::Identity atAI::identity() const {
    std::lock_guard lock(identityLock);
    return {devName, fwVersion};
}

int32_t atAI::channelCount() const {
    std::lock_guard lock(identityLock);
    return channelNum;
}

bool atAI::channelValid(int32_t channel) const { return channel >= 0 && channel < channelCount(); }

EApiStatus_t atAI::getPortName(char* text, uint32_t* length) {
    if (!text || !length)
        return EAPI_STATUS_INVALID_PARAMETER;
    if (*length == 0)
        return EAPI_STATUS_SUCCESS;
    const size_t n = std::min<size_t>(portName.size(), *length - 1);
    std::memcpy(text, portName.data(), n);
    text[n] = '\0';
    *length = static_cast<uint32_t>(n);
    return EAPI_STATUS_SUCCESS;
}

EApiStatus_t atAI::readIdentityText(const char* command, char* text, uint32_t* length, char (&store)[64],
                                    bool setsChannels) {
    if (!text || !length)
        return EAPI_STATUS_INVALID_PARAMETER;
    char reply[256] = {};
    transact(reply, command);
    const bool wantsText = *length != 0;
    const EApiStatus_t status = tessaro::copyReplyText(text, reply, length, 3);
    if (status != EAPI_STATUS_SUCCESS || !wantsText || *length == 0)
        return status;
    const size_t n = *length;
    std::lock_guard lock(identityLock);
    const size_t kept = std::min(n, sizeof store - 1);
    std::memcpy(store, text, kept);
    store[kept] = '\0';
    // The channel count follows the digit before a final "AI" of the text the caller got.
    if (setsChannels && n >= 3 && text[n - 2] == 'A' && text[n - 1] == 'I') {
        const char digit = text[n - 3];
        channelNum = digit >= '0' && digit <= '9' ? digit - '0' : 0;
    }
    return EAPI_STATUS_SUCCESS;
}

EApiStatus_t atAI::getDevName(char* text, uint32_t* length) {
    return readIdentityText("$01M\r", text, length, devName, true);
}

EApiStatus_t atAI::getFwVersion(char* text, uint32_t* length) {
    return readIdentityText("$01F\r", text, length, fwVersion, false);
}

EApiStatus_t atAI::getChannelNum(int32_t* count) {
    if (!count)
        return EAPI_STATUS_INVALID_PARAMETER;
    *count = channelCount();
    return EAPI_STATUS_SUCCESS;
}

EApiStatus_t atAI::findValRange(_AI_VALRANGE_INFO_* info) const {
    const Identity id = identity();
    return tessaro::queryValRange(tessaro::loadedRangeCatalogue(), id.devName, id.fwVersion, info);
}

EApiStatus_t atAI::findValRangeCode(_AI_VALRANGE_INFO_* info) const {
    const Identity id = identity();
    return tessaro::queryValRangeCode(tessaro::loadedRangeCatalogue(), id.devName, id.fwVersion, info);
}

} // namespace EApiCommon
