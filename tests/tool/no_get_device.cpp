// A library that looks like Tessaro but lacks EApiAIGetDevice: the tool must refuse to work
// with it and report the missing entry point.
#include "tessaro.h"

extern "C" TESSARO_API EApiStatus_t EApiAIDelDevice(std::string) { return EAPI_STATUS_SUCCESS; }
