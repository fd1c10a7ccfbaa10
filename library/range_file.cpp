// The range-information file. Each copy of the library compiles this unit with its own
// TESSARO_RANGE_FILE, the path it reads at load.
#include "range_catalogue.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>

#ifndef TESSARO_RANGE_FILE
#error "TESSARO_RANGE_FILE must be defined as the path of the range-information file"
#endif

namespace tessaro {

namespace {

// Plain zero-initialised data: no constructor runs at load and no destructor at unload, so
// nothing here registers exit-time work that could keep the library from unloading.
nlohmann::json* catalogue = nullptr;
bool catalogueLoaded = false;

} // namespace

void initFunc() {
    std::ifstream stream(TESSARO_RANGE_FILE);
    if (!stream.is_open()) {
        std::cout << "Cannot find AI value range info!" << std::endl;
        return;
    }
    try {
        // Owned before parsing, so a partly built document is still freed at unload.
        catalogue = new nlohmann::json();
        // Reads the first value only and skips a UTF-8 byte-order mark; what follows the
        // value is never looked at.
        stream >> *catalogue;
        catalogueLoaded = true;
    } catch (const std::exception& error) {
        std::printf("[%s][%s][%d] ", "tessaro", "initFunc", 79);
        // The message may quote the file, per-cent signs included: print it, never format it.
        std::fputs(error.what(), stdout);
        std::fputc('\n', stdout);
        std::cout << "Failed to parse AI value range info!" << std::endl;
    } catch (...) {
        std::cout << "Failed to parse AI value range info!" << std::endl;
    }
}

void freeRangeCatalogue() {
    delete catalogue;
    // Nothing reads these after unload; cleared anyway so a stray call cannot free twice.
    catalogue = nullptr;
    catalogueLoaded = false;
}

const nlohmann::json* loadedRangeCatalogue() {
    return catalogueLoaded ? catalogue : nullptr;
}

} // namespace tessaro
