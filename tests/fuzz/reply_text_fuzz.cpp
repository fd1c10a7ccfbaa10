// Arbitrary bytes as a module's reply line: copying its text never writes past the caller's
// buffer or the line, the length always counts what was written, and the range-code reading
// never reads past the terminator.
#include "reply_text.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
void check(bool condition) {
    if (!condition)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    // First byte: the caller's buffer length; second: the start position (1, 3 or 6 in use).
    const uint32_t capacity = data[0];
    const size_t position = data[1] % 8;
    char reply[tessaro::replyLineSize] = {};
    std::memcpy(reply, data + 2, std::min(size - 2, sizeof reply - 1));

    // The buffer is exactly as long as the caller says; ASan catches a write past it.
    std::vector<char> buffer(capacity == 0 ? 1 : capacity, '#');
    uint32_t length = capacity;
    const EApiStatus_t status = tessaro::copyReplyText(buffer.data(), reply, &length, position);
    if (status == EAPI_STATUS_SUCCESS && capacity != 0) {
        check(length < capacity);
        check(buffer[length] == '\0');
        check(std::memcmp(buffer.data(), reply + position, length) == 0);
    } else {
        check(length == capacity);
        check(status == EAPI_STATUS_SUCCESS || status == EAPI_STATUS_ERROR);
    }

    std::vector<char> text(reply, reply + std::strlen(reply) + 1);
    tessaro::parseHexNumber(text.data());
    return 0;
}
