// Tessaro: analog-input modules on serial ports.
//
// This header is shared by the library and every caller (Vorlith among them). The order of
// the virtual operations of EApiCommon::IatAI, their argument lists and the layout of
// _AI_VALRANGE_INFO_ are a binary interface: callers reach the operations through the
// object's table of virtual functions, so nothing here may be reordered.
//
// Lifetime: a device object is owned by the library's registry. Obtain it with
// EApiAIGetDevice (or EApiAIGetDevices), give every reference back exactly once with
// EApiAIDelDevice or EApiAIDelDeviceByAddr, and never delete it yourself.
//
// Threads: any thread may call the exports and the operations. Commands on one port are
// serialised (one exchange at a time, at least 400 ms each); different ports run in parallel.
//
// Text out: a buffer and a pointer to its length. On success the length counts the
// characters written, without the terminating zero byte; a length of 0 succeeds and writes
// nothing; a text that does not fit is cut without error. On failure nothing is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#define TESSARO_API __attribute__((visibility("default")))

typedef uint32_t EApiStatus_t;

// PICMG EAPI status codes; the library returns no others.
inline constexpr EApiStatus_t EAPI_STATUS_SUCCESS = 0x00000000u;
inline constexpr EApiStatus_t EAPI_STATUS_INVALID_PARAMETER = 0xFFFFFEFFu;
inline constexpr EApiStatus_t EAPI_STATUS_ERROR = 0xFFFFF0FFu;
inline constexpr EApiStatus_t EAPI_STATUS_UNSUPPORTED = 0xFFFFFCFFu;
inline constexpr EApiStatus_t EAPI_STATUS_MORE_DATA = 0xFFFFF9FFu;

// One input range of a channel. 24 bytes, no gaps, little-endian.
struct _AI_VALRANGE_INFO_ {
    uint32_t size;        // set by the caller to sizeof(_AI_VALRANGE_INFO_); below 24 is refused
    char codeText[4];     // the module's range code as text, at most 3 characters
    int32_t minimum;      // lower end, in unitText
    int32_t maximum;      // upper end, in unitText
    char unitText[8];     // e.g. "V" or "mA", at most 7 characters
};
typedef _AI_VALRANGE_INFO_ AI_VALRANGE_INFO;

static_assert(sizeof(_AI_VALRANGE_INFO_) == 24);
static_assert(offsetof(_AI_VALRANGE_INFO_, size) == 0);
static_assert(offsetof(_AI_VALRANGE_INFO_, codeText) == 4);
static_assert(offsetof(_AI_VALRANGE_INFO_, minimum) == 8);
static_assert(offsetof(_AI_VALRANGE_INFO_, maximum) == 12);
static_assert(offsetof(_AI_VALRANGE_INFO_, unitText) == 16);

namespace EApiCommon {

// One analog-input module on one serial port. Channels are numbered from 0.
class IatAI {
public:
    // The port name the object was created for, such as COM3. Talks to no module.
    virtual EApiStatus_t getPortName(char* text, uint32_t* length) = 0;
    // The module's name ("$01M"); also sets the channel count from the digit before "AI".
    virtual EApiStatus_t getDevName(char* text, uint32_t* length) = 0;
    // The module's firmware version ("$01F").
    virtual EApiStatus_t getFwVersion(char* text, uint32_t* length) = 0;
    // The channel count: 8 unless the module's name said otherwise. Talks to no module.
    virtual EApiStatus_t getChannelNum(int32_t* count) = 0;
    // The channel's range code as a number, 0 to 255.
    virtual EApiStatus_t getValRangeCode(uint8_t* code, int32_t channel) = 0;
    // The channel's range code, minimum, maximum and unit, through the range catalogue.
    virtual EApiStatus_t getValRange(_AI_VALRANGE_INFO_* info, int32_t channel) = 0;
    // Sets the channel's range by numeric code.
    virtual EApiStatus_t setValRangeCode(uint8_t code, int32_t channel) = 0;
    // Sets the channel to the range of info's minimum, maximum and unit; writes codeText.
    virtual EApiStatus_t setValRange(_AI_VALRANGE_INFO_* info, int32_t channel) = 0;
    // The channel's value as the module's text; channel -1 reads all channels at once.
    virtual EApiStatus_t getValue(char* text, uint32_t* length, int32_t channel) = 0;
    // Only the library destroys device objects.
    virtual ~IatAI() = default;
};

} // namespace EApiCommon

// Port names: at most 13 characters, ending in "COM" or "com" and a number 1 to 32.
extern "C" {
TESSARO_API EApiStatus_t EApiAIGetDevice(EApiCommon::IatAI** device, std::string portName);
TESSARO_API EApiStatus_t EApiAIDelDevice(std::string portName);
TESSARO_API EApiStatus_t EApiAIDelDeviceByAddr(EApiCommon::IatAI** device);
TESSARO_API EApiStatus_t EApiAIGetDevices(EApiCommon::IatAI** devices, uint32_t* count);
}

// Function-pointer types for callers that bind the library at run time.
typedef EApiStatus_t (*EApiAIGetDevice_t)(EApiCommon::IatAI**, std::string);
typedef EApiStatus_t (*EApiAIDelDevice_t)(std::string);
typedef EApiStatus_t (*EApiAIDelDeviceByAddr_t)(EApiCommon::IatAI**);
typedef EApiStatus_t (*EApiAIGetDevices_t)(EApiCommon::IatAI**, uint32_t*);

// The library's file name (its SONAME), as run-time callers load it.
#define TESSARO_LIBRARY_NAME "libTessaro.so.1"
