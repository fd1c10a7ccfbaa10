// Prints how long the library's operations take against simulated modules on ptys, next to
// the floors the protocol sets: 400 ms per exchange (two 200 ms pauses), 800 ms per
// acquisition (name and firmware), 200 ms per destruction.
//
//   exchange_bench [rounds]
#include "module_simulator.h"
#include "tessaro_library.h"
#include "test_env.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using tessaro::test::TessaroLibrary;
using EApiCommon::IatAI;

struct Figures {
    double min = 1e9, mean = 0, max = 0;
};

Figures measure(int rounds, const std::function<void()>& run) {
    Figures f;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        run();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        f.min = std::min(f.min, ms);
        f.max = std::max(f.max, ms);
        f.mean += ms / rounds;
    }
    return f;
}

// Reads channel 0 once from each device, every read on a thread of its own.
void readInParallel(const std::vector<IatAI*>& devices) {
    std::vector<std::thread> threads;
    for (IatAI* device : devices)
        threads.emplace_back([device] {
            char value[64];
            uint32_t length = sizeof value;
            device->getValue(value, &length, 0);
        });
    for (auto& thread : threads)
        thread.join();
}

void print(const char* what, double floor, const Figures& f) {
    std::printf("%-44s floor %6.0f ms   min %7.1f   mean %7.1f   max %7.1f   overhead %5.1f ms\n", what, floor,
                f.min, f.mean, f.max, f.mean - floor);
}

tessaro::sim::ModuleConfig eightChannels() {
    tessaro::sim::ModuleConfig config;
    config.name = "TQM-5508AI";
    config.rangeCodes.assign(8, "0A");
    config.values.assign(8, "+05.000");
    return config;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    tessaro::test::IsolatedDir dir;
    tessaro::test::writeRangeFile(tessaro::test::exampleCatalogue());
    std::vector<std::unique_ptr<tessaro::sim::ModuleSimulator>> modules;
    for (int port = 1; port <= 4; ++port)
        modules.push_back(std::make_unique<tessaro::sim::ModuleSimulator>(eightChannels(), dir.portDir(),
                                                                         "COM" + std::to_string(port)));
    auto loaded = std::make_unique<TessaroLibrary>();
    TessaroLibrary& lib = *loaded;
    std::printf("%d rounds each\n", rounds);

    print("acquire + release (open, identity, close)", 800 + 200, measure(rounds, [&] {
              IatAI* device = nullptr;
              lib.getDevice(&device, "COM1");
              lib.delDeviceByAddr(&device);
          }));

    IatAI* device = nullptr;
    lib.getDevice(&device, "COM1");
    char text[256];
    print("one exchange: getValue(channel 0)", 400, measure(rounds, [&] {
              uint32_t length = sizeof text;
              device->getValue(text, &length, 0);
          }));
    _AI_VALRANGE_INFO_ info{};
    info.size = sizeof info;
    print("one exchange + catalogue: getValRange", 400, measure(rounds, [&] { device->getValRange(&info, 0); }));
    print("8 channels one by one", 8 * 400, measure(std::max(1, rounds / 2), [&] {
              for (int channel = 0; channel < 8; ++channel) {
                  uint32_t length = sizeof text;
                  device->getValue(text, &length, channel);
              }
          }));
    print("8 channels at once: getValue(-1)", 400, measure(rounds, [&] {
              uint32_t length = sizeof text;
              device->getValue(text, &length, -1);
          }));

    std::vector<IatAI*> devices(4, nullptr);
    for (int port = 2; port <= 4; ++port)
        lib.getDevice(&devices[port - 1], "COM" + std::to_string(port));
    devices[0] = device;
    print("4 ports, one exchange each, in parallel", 400, measure(rounds, [&] { readInParallel(devices); }));
    print("1 port, 4 threads, one exchange each", 4 * 400,
          measure(rounds, [&] { readInParallel(std::vector<IatAI*>(4, device)); }));
    for (IatAI* d : devices)
        lib.delDeviceByAddr(&d);

    loaded.reset();
    // Each load reads and parses the range file afresh.
    const Figures load = measure(rounds, [] { TessaroLibrary again; });
    std::printf("%-44s mean %7.3f ms   max %7.3f ms\n", "load + unload of the library", load.mean, load.max);
    return 0;
}
