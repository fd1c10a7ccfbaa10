// What the library does when it is loaded into a process and when it is unloaded.
#pragma once

namespace tessaro {

// Reads the range catalogue. Runs once per load, before any export can be called.
void libraryAttach();

// Frees the range catalogue, then closes the devices that callers still hold, so that a
// process that loads and unloads the library many times keeps no port open.
void libraryDetach();

} // namespace tessaro
