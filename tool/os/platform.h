// The few platform services Vorlith needs: run-time loading of the library and the list of
// serial port names. The window code sees only this header; each operating system has its
// own implementation folder next to it (os/linux today), picked by the build.
#pragma once

#include <string>
#include <vector>

namespace Vorlith::os {

// The numbers shown as "Error code" in the library messages. Linux has no error numbers for
// these failures, so the tool reports the ones the same failures carry on Windows, where the
// messages come from: 126 (module not found) when the library cannot be loaded, 127 (entry
// point not found) when an export is missing. The platform's own text goes to standard output.
inline constexpr int libraryLoadErrorCode = 126;
inline constexpr int entryPointErrorCode = 127;

// Why the last call below failed: the code for the message box and the platform's text.
struct Failure {
    int code = 0;
    std::string text;
};

// Loads a shared library by file name, letting the platform search for it the way it does
// for the program itself (on Linux: the executable's RUNPATH). Null on failure.
void* loadLibrary(const std::string& fileName, Failure& failure);
// Looks up an exported function; null when library is null or has no such export.
void* findEntryPoint(void* library, const char* name, Failure& failure);
// Frees a library from loadLibrary; null is ignored.
void freeLibrary(void* library);

// Names of the serial ports present, unsorted, such as COM1 and COM3.
struct PortListing {
    std::vector<std::string> names;
    std::string source;  // where the names came from, for diagnostics
    bool failed = false; // the platform could not list the ports; failure holds its message
    std::string failure;
};
PortListing listSerialPorts();

} // namespace Vorlith::os
