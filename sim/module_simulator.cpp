#include "module_simulator.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace tessaro::sim {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kLateReplyDelay{300};
constexpr size_t kLongLineLength = 300;
// A line this long without a CR is garbage; keeping more of it helps no test.
constexpr size_t kMaxCommandLength = 4096;
constexpr std::string_view kNoiseLine = "~noise~\r";

[[noreturn]] void throwErrno(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

std::optional<std::string> linkText(const std::string& path) {
    std::error_code ec;
    fs::path target = fs::read_symlink(path, ec);
    if (ec)
        return std::nullopt;
    return target.string();
}

void checkLinkName(const std::string& name, const char* what) {
    if (name.find('/') != std::string::npos || name == "." || name == "..")
        throw std::invalid_argument(std::string(what) + " must be a plain file name: \"" + name + "\"");
}

// Points path at target. The link is made under a temporary name and renamed into place, so
// a client never sees the name missing while a link left behind by a killed run is replaced.
void placeLink(const std::string& target, const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
        throwErrno(EEXIST, "cannot link " + path.string() + ": not a symbolic link");
    static std::atomic<unsigned> counter{0};
    fs::path temporary = path.parent_path() /
        ("." + path.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
         std::to_string(counter++));
    if (::symlink(target.c_str(), temporary.c_str()) != 0)
        throwErrno(errno, "cannot create link " + path.string());
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        int error = errno;
        ::unlink(temporary.c_str());
        throwErrno(error, "cannot create link " + path.string());
    }
}

// A channel number as the commands carry it: decimal digits only.
std::optional<size_t> parseChannel(std::string_view text) {
    if (text.empty() || text.size() > 3)
        return std::nullopt;
    size_t channel = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        channel = channel * 10 + static_cast<size_t>(c - '0');
    }
    return channel;
}

std::string longLine() {
    std::string line = "!";
    while (line.size() < kLongLineLength - 1)
        line += static_cast<char>('0' + (line.size() - 1) % 10);
    return line + '\r';
}

size_t checkedChannel(int channel, size_t count) {
    if (channel < 0 || static_cast<size_t>(channel) >= count)
        throw std::out_of_range("channel " + std::to_string(channel) + " is not configured");
    return static_cast<size_t>(channel);
}

} // namespace

struct ModuleSimulator::State {
    // Fixed once the worker runs.
    std::string name;
    std::string firmware;
    milliseconds replyDelay{0};
    fs::path comPath;
    fs::path aliasPath; // empty without an alias
    std::string aliasName;
    std::string slave;
    int wakeFd = -1;
    bool comLinkPlaced = false;
    bool aliasLinkPlaced = false;

    // The worker's own (the destructor touches them only after joining it).
    int masterFd = -1;
    int slaveFd = -1;
    bool linksRemoved = false;
    std::string partialLine;
    struct Scheduled {
        Clock::time_point due;
        std::string bytes;
    };
    std::deque<Scheduled> scheduled; // ordered by due time
    std::string outgoing;            // due, not yet taken by the terminal

    // Shared with the callers.
    mutable std::mutex mutex;
    mutable std::condition_variable commandArrived;
    std::vector<std::string> rangeCodes;
    std::vector<std::string> values;
    Fault fault = Fault::None;
    int faultCommands = 0; // negative: until cleared
    std::optional<std::string> nextReply;
    std::vector<std::string> received;

    std::thread worker;

    ~State() {
        if (worker.joinable()) {
            const uint64_t one = 1;
            // An eventfd write only fails when the counter would overflow; it cannot here.
            [[maybe_unused]] ssize_t n = ::write(wakeFd, &one, sizeof one);
            worker.join();
        }
        removeLinks();
        closeFd(masterFd);
        closeFd(slaveFd);
        closeFd(wakeFd);
    }

    void open(const fs::path& portDir) {
        masterFd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (masterFd < 0)
            throwErrno(errno, "posix_openpt");
        if (::grantpt(masterFd) != 0 || ::unlockpt(masterFd) != 0)
            throwErrno(errno, "cannot unlock the pty");
        char path[64];
        if (int error = ::ptsname_r(masterFd, path, sizeof path); error != 0)
            throwErrno(error, "ptsname_r");
        slave = path;
        // Holding the slave keeps the master free of EIO and the terminal's settings intact
        // while no client has the port open.
        slaveFd = ::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slaveFd < 0)
            throwErrno(errno, "cannot open " + slave);
        termios tio{};
        if (::tcgetattr(slaveFd, &tio) != 0)
            throwErrno(errno, "tcgetattr " + slave);
        // A fresh pty is cooked (echo, CR to LF); raw from the start so no byte is changed.
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, B115200);
        tio.c_cflag |= CLOCAL | CREAD;
        if (::tcsetattr(slaveFd, TCSANOW, &tio) != 0)
            throwErrno(errno, "tcsetattr " + slave);
        int flags = ::fcntl(masterFd, F_GETFL);
        if (flags < 0 || ::fcntl(masterFd, F_SETFL, flags | O_NONBLOCK) != 0)
            throwErrno(errno, "cannot make the pty master non-blocking");
        wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wakeFd < 0)
            throwErrno(errno, "eventfd");

        std::error_code ec;
        fs::create_directories(portDir, ec);
        if (ec)
            throwErrno(ec.value(), "cannot create port directory " + portDir.string());
        // The alias first, so the COM link never points at nothing.
        if (!aliasPath.empty()) {
            placeLink(slave, aliasPath);
            aliasLinkPlaced = true;
            placeLink(aliasName, comPath);
        } else {
            placeLink(slave, comPath);
        }
        comLinkPlaced = true;
    }

    // Removes only what still points where we put it: another simulator may have taken the
    // name over, or the pty number may since belong to another simulator.
    void removeLinks() {
        if (linksRemoved)
            return;
        linksRemoved = true;
        bool aliasOurs = aliasLinkPlaced && linkText(aliasPath) == slave;
        bool comOurs = comLinkPlaced &&
            (aliasPath.empty() ? linkText(comPath) == slave
                               : linkText(comPath) == aliasName && aliasOurs);
        if (comOurs)
            ::unlink(comPath.c_str());
        if (aliasOurs)
            ::unlink(aliasPath.c_str());
    }

    void run() {
        for (;;) {
            writeDue(Clock::now());
            int timeout = -1;
            if (!scheduled.empty()) {
                auto wait = std::chrono::ceil<milliseconds>(scheduled.front().due - Clock::now());
                timeout = static_cast<int>(std::clamp<milliseconds::rep>(wait.count(), 0, INT_MAX));
            }
            pollfd fds[2] = {
                {wakeFd, POLLIN, 0},
                {masterFd, static_cast<short>(POLLIN | (outgoing.empty() ? 0 : POLLOUT)), 0},
            };
            if (::poll(fds, 2, timeout) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[0].revents != 0)
                return;
            if (fds[1].revents & POLLIN) {
                if (!readCommands())
                    return;
            } else if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
                return; // nothing more will come; do not spin on it
            }
        }
    }

    void writeDue(Clock::time_point now) {
        while (!scheduled.empty() && scheduled.front().due <= now) {
            outgoing += scheduled.front().bytes;
            scheduled.pop_front();
        }
        while (!outgoing.empty()) {
            ssize_t n = ::write(masterFd, outgoing.data(), outgoing.size());
            if (n > 0) {
                outgoing.erase(0, static_cast<size_t>(n));
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                return; // poll waits for POLLOUT
            } else {
                outgoing.clear(); // the terminal is gone; nobody can read it
                return;
            }
        }
    }

    // Returns false when the worker must stop (hang-up or a dead terminal).
    bool readCommands() {
        char buffer[512];
        for (;;) {
            ssize_t n = ::read(masterFd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return true;
            if (n <= 0)
                return false;
            Clock::time_point now = Clock::now();
            for (ssize_t i = 0; i < n; ++i) {
                char c = buffer[i];
                if (c == '\n' || c == '\0')
                    continue;
                if (c != '\r') {
                    if (partialLine.size() < kMaxCommandLength)
                        partialLine += c;
                    continue;
                }
                std::string line = std::move(partialLine) + '\r';
                partialLine.clear();
                if (!handleCommand(std::move(line), now))
                    return false;
            }
        }
    }

    void schedule(Clock::time_point due, std::string bytes) {
        auto at = std::upper_bound(scheduled.begin(), scheduled.end(), due,
                                   [](Clock::time_point t, const Scheduled& s) { return t < s.due; });
        scheduled.insert(at, Scheduled{due, std::move(bytes)});
    }

    Fault takeFault() {
        Fault current = fault;
        if (faultCommands > 0 && --faultCommands == 0)
            fault = Fault::None;
        return current;
    }

    // The module's answer to one command (without its CR). Called under the mutex.
    std::string answer(std::string_view command) {
        auto startsWith = [&](std::string_view prefix) { return command.substr(0, prefix.size()) == prefix; };
        const std::string refused = "?01\r";
        if (command == "$01M")
            return "!01" + name + '\r';
        if (command == "$01F")
            return "!01" + firmware + '\r';
        if (startsWith("$018C")) {
            auto channel = parseChannel(command.substr(5));
            if (!channel || *channel >= rangeCodes.size())
                return refused;
            return "!01C" + std::to_string(*channel) + "R" + rangeCodes[*channel] + '\r';
        }
        if (startsWith("$017C")) {
            std::string_view rest = command.substr(5);
            size_t r = rest.find('R');
            if (r == std::string_view::npos || r + 1 == rest.size())
                return refused;
            auto channel = parseChannel(rest.substr(0, r));
            if (!channel || *channel >= rangeCodes.size())
                return refused;
            rangeCodes[*channel] = std::string(rest.substr(r + 1));
            return "!01\r";
        }
        if (command == "#01") {
            std::string all = ">";
            for (const auto& value : values)
                all += value;
            return all + '\r';
        }
        if (startsWith("#01")) {
            auto channel = parseChannel(command.substr(3));
            if (!channel || *channel >= values.size())
                return refused;
            return ">" + values[*channel] + '\r';
        }
        return refused;
    }

    // Returns false when the command hung the terminal up.
    bool handleCommand(std::string line, Clock::time_point arrived) {
        std::unique_lock lock(mutex);
        std::optional<std::string> reply;
        Clock::time_point due = arrived + replyDelay;
        if (nextReply) {
            reply = std::move(*nextReply);
            nextReply.reset();
        } else {
            Fault current = takeFault();
            if (current == Fault::HangUp) {
                lock.unlock();
                hangUp();
                lock.lock();
                received.push_back(std::move(line));
                lock.unlock();
                commandArrived.notify_all();
                return false;
            }
            if (current != Fault::NoReply)
                reply = answer(std::string_view(line).substr(0, line.size() - 1));
            switch (current) {
            case Fault::WrongFirstChar:
                if (!reply->empty())
                    (*reply)[0] = '?';
                break;
            case Fault::LateReply:
                due = arrived + kLateReplyDelay;
                break;
            case Fault::NoCarriageReturn:
                reply->pop_back();
                break;
            case Fault::LongLine:
                reply = longLine();
                break;
            case Fault::NoiseBeforeReply:
                *reply += kNoiseLine;
                break;
            case Fault::None:
            case Fault::NoReply:
            case Fault::HangUp:
                break;
            }
        }
        received.push_back(std::move(line));
        lock.unlock();
        commandArrived.notify_all();
        if (reply)
            schedule(due, std::move(*reply));
        return true;
    }

    // Links first, then the terminal: whoever sees the hang-up finds the port gone too.
    void hangUp() {
        removeLinks();
        closeFd(masterFd);
        closeFd(slaveFd);
        scheduled.clear();
        outgoing.clear();
    }
};

ModuleSimulator::ModuleSimulator(ModuleConfig config, std::string portDir, std::string comName,
                                 std::string aliasName)
    : state_(std::make_unique<State>()) {
    if (comName.empty())
        throw std::invalid_argument("the COM name must not be empty");
    checkLinkName(comName, "the COM name");
    checkLinkName(aliasName, "the alias name");
    if (config.rangeCodes.size() != config.values.size())
        throw std::invalid_argument("rangeCodes and values must have one entry per channel (got " +
                                    std::to_string(config.rangeCodes.size()) + " and " +
                                    std::to_string(config.values.size()) + ")");
    State& s = *state_;
    s.name = std::move(config.name);
    s.firmware = std::move(config.firmware);
    s.replyDelay = config.replyDelay;
    s.rangeCodes = std::move(config.rangeCodes);
    s.values = std::move(config.values);
    fs::path dir(portDir);
    s.comPath = dir / comName;
    if (!aliasName.empty())
        s.aliasPath = dir / aliasName;
    s.aliasName = std::move(aliasName);
    s.open(dir); // on a throw, ~State closes and unlinks what was made
    s.worker = std::thread([&s] { s.run(); });
}

ModuleSimulator::~ModuleSimulator() = default;

void ModuleSimulator::setFault(Fault fault, int commands) {
    std::lock_guard lock(state_->mutex);
    bool active = fault != Fault::None && commands != 0;
    state_->fault = active ? fault : Fault::None;
    state_->faultCommands = active ? (commands < 0 ? -1 : commands) : 0;
}

void ModuleSimulator::setNextReply(std::string raw) {
    std::lock_guard lock(state_->mutex);
    state_->nextReply = std::move(raw);
}

std::vector<std::string> ModuleSimulator::received() const {
    std::lock_guard lock(state_->mutex);
    return state_->received;
}

void ModuleSimulator::clearReceived() {
    std::lock_guard lock(state_->mutex);
    state_->received.clear();
}

bool ModuleSimulator::waitForCommands(size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(state_->mutex);
    return state_->commandArrived.wait_for(lock, timeout, [&] { return state_->received.size() >= n; });
}

std::string ModuleSimulator::rangeCode(int channel) const {
    std::lock_guard lock(state_->mutex);
    return state_->rangeCodes[checkedChannel(channel, state_->rangeCodes.size())];
}

void ModuleSimulator::setRangeCode(int channel, std::string code) {
    std::lock_guard lock(state_->mutex);
    state_->rangeCodes[checkedChannel(channel, state_->rangeCodes.size())] = std::move(code);
}

void ModuleSimulator::setValue(int channel, std::string value) {
    std::lock_guard lock(state_->mutex);
    state_->values[checkedChannel(channel, state_->values.size())] = std::move(value);
}

std::string ModuleSimulator::slavePath() const {
    return state_->slave;
}

std::string ModuleSimulator::portPath() const {
    return state_->comPath.string();
}

} // namespace tessaro::sim
