#include "lifecycle.h"

#include "range_catalogue.h"
#include "registry.h"

namespace tessaro {

void libraryAttach() { initFunc(); }

void libraryDetach() {
    freeRangeCatalogue();
    closeHeldDevices();
}

} // namespace tessaro
