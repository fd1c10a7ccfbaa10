// A test process's own world: a fresh working directory with its port directory, simulated
// modules linked into it, and the tests' copy of the library loaded on demand.
#pragma once

#include "device.h"
#include "module_simulator.h"
#include "tessaro_library.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tessaro::test {

inline sim::ModuleConfig twoChannelModule() {
    sim::ModuleConfig config;
    config.name = "TQM-5502AI";
    config.firmware = "1.00";
    config.rangeCodes = {"0A", "0B"};
    config.values = {"+01.250", "+12.000"};
    return config;
}

inline sim::ModuleConfig eightChannelModule() {
    sim::ModuleConfig config;
    config.name = "TQM-5508AI";
    config.firmware = "1.00";
    config.rangeCodes.assign(8, "0A");
    config.values = {"+00.000", "+01.000", "+02.000", "+03.000", "+04.000", "+05.000", "+06.000", "+07.000"};
    return config;
}

// The library's own object behind an interface pointer: only for reading the registry's
// bookkeeping (reference count, slot), never for calling into it.
inline const EApiCommon::atAI& internals(EApiCommon::IatAI* device) {
    return *static_cast<EApiCommon::atAI*>(device);
}

class LibraryTest : public ::testing::Test {
protected:
    sim::ModuleSimulator& addModule(const std::string& portName, sim::ModuleConfig config = twoChannelModule(),
                                    const std::string& alias = "") {
        modules_.push_back(std::make_unique<sim::ModuleSimulator>(std::move(config), dir_.portDir(), portName, alias));
        return *modules_.back();
    }

    // Loads the tests' copy of the library; write the range file first if the test needs one.
    TessaroLibrary& load() {
        library_ = std::make_unique<TessaroLibrary>();
        return *library_;
    }
    void unload() { library_.reset(); }
    TessaroLibrary& lib() { return *library_; }

    std::string portPath(const std::string& portName) const { return dir_.portDir() + "/" + portName; }
    const IsolatedDir& dir() const { return dir_; }

    void TearDown() override {
        library_.reset();
        modules_.clear();
    }

private:
    IsolatedDir dir_;
    std::vector<std::unique_ptr<sim::ModuleSimulator>> modules_;
    std::unique_ptr<TessaroLibrary> library_;
};

// Reads a text result of a device operation into a std::string.
template <typename Read> std::string readText(Read read, uint32_t capacity = 256, EApiStatus_t* status = nullptr) {
    std::string text(capacity, '\0');
    uint32_t length = capacity;
    EApiStatus_t result = read(text.data(), &length);
    if (status)
        *status = result;
    text.resize(result == EAPI_STATUS_SUCCESS ? length : 0);
    return text;
}

} // namespace tessaro::test
