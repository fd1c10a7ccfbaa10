// The library's load and unload hooks on Linux. The slot locks are constant-initialised and
// need no construction, so they exist before onLoad runs and outlive onUnload.
#include "lifecycle.h"

namespace {

__attribute__((constructor)) void onLoad() { tessaro::libraryAttach(); }

__attribute__((destructor)) void onUnload() { tessaro::libraryDetach(); }

} // namespace
