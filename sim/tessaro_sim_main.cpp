// tessaro-sim: simulated analog-input modules on pseudo-terminals, for working without
// hardware. Runs until SIGINT or SIGTERM, then removes its port links.
#include "module_simulator.h"

#include <csignal>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <pthread.h>

namespace {

using tessaro::sim::ModuleConfig;
using tessaro::sim::ModuleSimulator;

const char* const kUsage = R"(Usage: tessaro-sim [--dir DIR] --port COM3 [module options] [--port COM4 [module options]]...

Simulates analog-input modules on pseudo-terminals. Each module's slave terminal is linked
as DIR/<port> (through DIR/<alias> when --alias is given), so the library finds it with
TESSARO_PORT_DIR=DIR. Prints "ready <port> -> <terminal>" per module, then "ready", and runs
until SIGINT or SIGTERM; then it removes its links and exits.

Options:
  --dir DIR          port directory (default: $TESSARO_PORT_DIR, else /dev); created if missing
  --port NAME        starts a module linked as DIR/NAME (for example COM3); repeat --port for
                     more modules, each followed by its own options:
    --alias NAME       link DIR/<port> -> NAME -> terminal (for example ttyVCP3)
    --name TEXT        module name (default TQM-5502AI)
    --firmware TEXT    firmware version (default 1.00)
    --codes A,B,...    range code per channel (default 0A for every channel)
    --values A,B,...   value text per channel (default +01.000, +02.000, ...)
    --delay-ms N       delay before each reply in milliseconds (default 0)
  -h, --help         show this text

Without --codes and --values the channel count is the digit before the name's final "AI"
(TQM-5508AI: 8 channels); with them it is their number of entries, which must agree.

Example:
  tessaro-sim --dir /tmp/ports --port COM3 --alias ttyVCP3 \
              --port COM4 --name TQM-5508AI --delay-ms 20
)";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct ModuleArgs {
    std::string port;
    std::string alias;
    ModuleConfig config;
    std::optional<std::vector<std::string>> codes;
    std::optional<std::vector<std::string>> values;
};

std::vector<std::string> splitList(const std::string& option, const std::string& text) {
    std::vector<std::string> items;
    if (text.empty())
        return items; // no channels at all
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item.empty())
            throw UsageError(option + ": empty entry in \"" + text + "\"");
        items.push_back(item);
        if (comma == std::string::npos)
            return items;
        start = comma + 1;
    }
}

int parseDelay(const std::string& text) {
    size_t used = 0;
    long value = -1;
    try {
        value = std::stol(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || value < 0 || value > 60000)
        throw UsageError("--delay-ms: expected milliseconds from 0 to 60000, got \"" + text + "\"");
    return static_cast<int>(value);
}

void checkName(const std::string& option, const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        throw UsageError(option + ": \"" + name + "\" is not a plain file name");
}

size_t channelsFromName(const std::string& name) {
    size_t n = name.size();
    if (n >= 3 && name.compare(n - 2, 2, "AI") == 0 && name[n - 3] >= '0' && name[n - 3] <= '9')
        return static_cast<size_t>(name[n - 3] - '0');
    throw UsageError("cannot tell the channel count from the name \"" + name +
                     "\" (no digit before a final \"AI\"); give --codes or --values");
}

void completeChannels(ModuleArgs& module) {
    ModuleConfig& config = module.config;
    if (module.codes && module.values && module.codes->size() != module.values->size())
        throw UsageError(module.port + ": --codes has " + std::to_string(module.codes->size()) +
                         " entries but --values has " + std::to_string(module.values->size()));
    size_t channels = module.codes    ? module.codes->size()
                      : module.values ? module.values->size()
                                      : channelsFromName(config.name);
    config.rangeCodes = module.codes ? *module.codes : std::vector<std::string>(channels, "0A");
    if (module.values) {
        config.values = *module.values;
    } else {
        config.values.clear();
        for (size_t i = 0; i < channels; ++i) {
            std::string number = std::to_string(i + 1);
            config.values.push_back("+" + std::string(number.size() < 2 ? 1 : 0, '0') + number + ".000");
        }
    }
}

struct Arguments {
    std::string dir;
    std::vector<ModuleArgs> modules;
    bool help = false;
};

Arguments parseArguments(int argc, char** argv) {
    Arguments args;
    const char* envDir = std::getenv("TESSARO_PORT_DIR");
    args.dir = envDir && *envDir ? envDir : "/dev";
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "-h" || option == "--help") {
            args.help = true;
            return args;
        }
        if (option.rfind("--", 0) != 0)
            throw UsageError("unexpected argument \"" + option + "\"");
        if (i + 1 >= argc)
            throw UsageError(option + " needs a value");
        std::string value = argv[++i];
        if (option == "--dir") {
            if (value.empty())
                throw UsageError("--dir needs a directory");
            args.dir = value;
            continue;
        }
        if (option == "--port") {
            checkName(option, value);
            args.modules.emplace_back().port = value;
            continue;
        }
        if (option != "--alias" && option != "--name" && option != "--firmware" &&
            option != "--codes" && option != "--values" && option != "--delay-ms")
            throw UsageError("unknown option " + option);
        if (args.modules.empty())
            throw UsageError(option + " must follow the --port of its module");
        ModuleArgs& module = args.modules.back();
        if (option == "--alias") {
            checkName(option, value);
            module.alias = value;
        } else if (option == "--name") {
            module.config.name = value;
        } else if (option == "--firmware") {
            module.config.firmware = value;
        } else if (option == "--codes") {
            module.codes = splitList(option, value);
        } else if (option == "--values") {
            module.values = splitList(option, value);
        } else {
            module.config.replyDelay = std::chrono::milliseconds(parseDelay(value));
        }
    }
    if (args.modules.empty())
        throw UsageError("no module: give at least one --port");
    std::set<std::string> names;
    for (ModuleArgs& module : args.modules) {
        completeChannels(module);
        for (const std::string* name : {&module.port, &module.alias}) {
            if (!name->empty() && !names.insert(*name).second)
                throw UsageError("the link name " + *name + " is given twice");
        }
    }
    return args;
}

} // namespace

int main(int argc, char** argv) {
    Arguments args;
    try {
        args = parseArguments(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "tessaro-sim: " << e.what() << "\nTry 'tessaro-sim --help'.\n";
        return 2;
    }
    if (args.help) {
        std::cout << kUsage;
        return 0;
    }

    // Blocked before any simulator thread starts, so every thread inherits the mask and the
    // signals wait for sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::vector<std::unique_ptr<ModuleSimulator>> simulators;
    try {
        for (ModuleArgs& module : args.modules) {
            simulators.push_back(std::make_unique<ModuleSimulator>(module.config, args.dir,
                                                                   module.port, module.alias));
            std::cout << "ready " << module.port << " -> " << simulators.back()->slavePath() << '\n';
        }
    } catch (const std::exception& e) {
        std::cerr << "tessaro-sim: " << e.what() << '\n';
        return 1; // the simulators made so far remove their links on the way out
    }
    std::cout << "ready" << std::endl;

    int signal = 0;
    sigwait(&stopSignals, &signal);
    simulators.clear();
    return 0;
}
