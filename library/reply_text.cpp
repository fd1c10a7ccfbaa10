#include "reply_text.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace tessaro {

bool replyAccepted(const char* reply) { return reply[0] == '!' || reply[0] == '>'; }

EApiStatus_t copyReplyText(char* destination, const char* reply, uint32_t* length, size_t position) {
    if (!destination || !length)
        return EAPI_STATUS_INVALID_PARAMETER;
    if (!replyAccepted(reply))
        return EAPI_STATUS_ERROR;
    if (*length == 0)
        return EAPI_STATUS_SUCCESS;
    const size_t lineLength = strnlen(reply, replyLineSize);
    size_t n = lineLength > position + 1 ? lineLength - 1 - position : 0;
    n = std::min({n, static_cast<size_t>(*length) - 1, replyLineSize - position});
    std::memcpy(destination, reply + position, n);
    destination[n] = '\0';
    *length = static_cast<uint32_t>(n);
    return EAPI_STATUS_SUCCESS;
}

uint32_t parseHexNumber(const char* text) {
    while (std::isspace(static_cast<unsigned char>(*text)))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && std::isxdigit(static_cast<unsigned char>(text[2])))
        text += 2;
    uint64_t value = 0;
    bool overflow = false;
    for (; std::isxdigit(static_cast<unsigned char>(*text)); ++text) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(*text)));
        value = value * 16 + static_cast<uint64_t>(c <= '9' ? c - '0' : c - 'A' + 10);
        if (value > 0xFFFFFFFFu) {
            overflow = true;
            value = 0xFFFFFFFFu;
        }
    }
    if (overflow)
        return 0xFFFFFFFFu;
    return negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(value)) : static_cast<uint32_t>(value);
}

} // namespace tessaro
