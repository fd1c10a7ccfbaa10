// Reading a module's reply line: pure text handling, separate from the I/O so that it can be
// tested and fuzzed on its own.
#pragma once

#include "tessaro.h"

#include <cstddef>
#include <cstdint>

namespace tessaro {

inline constexpr size_t replyLineSize = 256;

// Whether a reply line is an acceptance: its first character is '!' or '>'.
bool replyAccepted(const char* reply);

// Copies the reply text from `position` (up to, not including, the reply's last character,
// its carriage return) into destination by the text-out convention, cut to the buffer and to
// the 256-byte line. EAPI_STATUS_ERROR when the reply is not an acceptance.
EApiStatus_t copyReplyText(char* destination, const char* reply, uint32_t* length, size_t position);

// Reads a text as an unsigned hexadecimal number the way the module's range codes are read:
// leading blanks, an optional sign and 0x prefix, digits up to the first non-digit; no digits
// give 0, a number beyond 32 bits gives 0xFFFFFFFF, a minus sign negates modulo 2^32.
uint32_t parseHexNumber(const char* text);

} // namespace tessaro
