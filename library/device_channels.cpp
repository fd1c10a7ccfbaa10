// The channel operations of the device object: range codes, ranges and values.
#include "device.h"

#include "reply_text.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace EApiCommon {

namespace {
std::string channelCommand(const char* prefix, int32_t channel, const char* suffix = "") {
    return prefix + std::to_string(channel) + suffix;
}
} // namespace

EApiStatus_t atAI::readRangeCodeText(int32_t channel, char (&text)[32]) {
    char reply[256] = {};
    transact(reply, channelCommand("$018C", channel, "\r").c_str());
    std::memset(text, 0, sizeof text);
    if (!tessaro::replyAccepted(reply))
        return EAPI_STATUS_ERROR;
    uint32_t length = sizeof text;
    tessaro::copyReplyText(text, reply, &length, 6);
    return EAPI_STATUS_SUCCESS;
}

EApiStatus_t atAI::sendRangeCode(int32_t channel, const char* codeText) {
    char reply[256] = {};
    const std::string command = channelCommand("$017C", channel, "R") + codeText + "\r";
    transact(reply, command.c_str());
    return tessaro::replyAccepted(reply) ? EAPI_STATUS_SUCCESS : EAPI_STATUS_ERROR;
}

EApiStatus_t atAI::getValRangeCode(uint8_t* code, int32_t channel) {
    if (!code || !channelValid(channel))
        return EAPI_STATUS_INVALID_PARAMETER;
    char text[32];
    const EApiStatus_t status = readRangeCodeText(channel, text);
    if (status != EAPI_STATUS_SUCCESS)
        return status;
    *code = static_cast<uint8_t>(tessaro::parseHexNumber(text) & 0xFF);
    return EAPI_STATUS_SUCCESS;
}

EApiStatus_t atAI::getValRange(_AI_VALRANGE_INFO_* info, int32_t channel) {
    if (!info || info->size < sizeof(_AI_VALRANGE_INFO_) || !channelValid(channel))
        return EAPI_STATUS_INVALID_PARAMETER;
    char text[32];
    const EApiStatus_t status = readRangeCodeText(channel, text);
    // After a failed exchange the text is empty, and so is codeText.
    std::memcpy(info->codeText, text, 3);
    info->codeText[3] = '\0';
    if (status != EAPI_STATUS_SUCCESS)
        return status;
    return findValRange(info);
}

EApiStatus_t atAI::setValRangeCode(uint8_t code, int32_t channel) {
    if (!channelValid(channel))
        return EAPI_STATUS_INVALID_PARAMETER;
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", code);
    return sendRangeCode(channel, digits);
}

EApiStatus_t atAI::setValRange(_AI_VALRANGE_INFO_* info, int32_t channel) {
    if (!info || info->size < sizeof(_AI_VALRANGE_INFO_) || !channelValid(channel))
        return EAPI_STATUS_INVALID_PARAMETER;
    const EApiStatus_t status = findValRangeCode(info);
    if (status != EAPI_STATUS_SUCCESS)
        return status;
    char code[4];
    std::memcpy(code, info->codeText, 3);
    code[3] = '\0';
    return sendRangeCode(channel, code);
}

EApiStatus_t atAI::getValue(char* text, uint32_t* length, int32_t channel) {
    if (!text || !length)
        return EAPI_STATUS_INVALID_PARAMETER;
    if (channel != -1 && !channelValid(channel))
        return EAPI_STATUS_INVALID_PARAMETER;
    char reply[256] = {};
    transact(reply, channel == -1 ? "#01\r" : channelCommand("#01", channel, "\r").c_str());
    return tessaro::copyReplyText(text, reply, length, 1);
}

} // namespace EApiCommon
