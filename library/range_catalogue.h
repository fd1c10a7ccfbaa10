// The range catalogue: the range-information file, read once per load of the library.
#pragma once

#include <nlohmann/json.hpp>

namespace tessaro {

// Reads the compiled-in range file into the catalogue; reports a missing or malformed
// file on standard output and never throws. Called once per load.
void initFunc();

// Frees the catalogue at unload.
void freeRangeCatalogue();

// The catalogue when the whole file parsed, else null (missing file, parse failure).
const nlohmann::json* loadedRangeCatalogue();

} // namespace tessaro
