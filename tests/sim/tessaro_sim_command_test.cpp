// The standalone tessaro-sim command: start-up lines, answers on its ports, clean exit on
// SIGTERM, and refusal of bad arguments.
#include "pty_client.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tessaro::test::linkText;
using tessaro::test::PtyClient;
using Clock = std::chrono::steady_clock;

// The command as a child process with its standard output and error on pipes.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe2");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(TESSARO_SIM_PROGRAM)};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        int rc = posix_spawn(&pid_, TESSARO_SIM_PROGRAM, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
        if (rc != 0)
            throw std::runtime_error("posix_spawn failed");
    }

    ~SimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
        ::close(err_);
    }

    // Standard output up to and including the line "ready", or up to the time limit.
    std::string readUntilReady(std::chrono::milliseconds timeout) {
        auto deadline = Clock::now() + timeout;
        while (stdout_.find("ready\n") != 0 && stdout_.find("\nready\n") == std::string::npos) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0 || !readSome(out_, stdout_, left))
                break;
        }
        return stdout_;
    }

    // Signals the process (by its own id) and returns its exit status with standard error.
    int stop(int signal) {
        ::kill(pid_, signal);
        return wait();
    }

    int wait() {
        while (readSome(err_, stderr_, 10s)) {
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    const std::string& errors() const { return stderr_; }

private:
    static bool readSome(int fd, std::string& into, std::chrono::milliseconds timeout) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0)
            return false;
        char buffer[512];
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        into.append(buffer, static_cast<size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string stdout_;
    std::string stderr_;
};

std::string exchange(const fs::path& port, const std::string& command) {
    PtyClient client(port.string());
    client.send(command);
    return client.readLine(5s);
}

TEST(TessaroSimCommand, RunsModulesUntilTerminated) {
    tessaro::test::IsolatedDir dir;
    fs::path ports = fs::path(dir.path()) / "made" / "here";
    SimProcess sim({"--dir", ports.string(),
                    "--port", "COM3", "--alias", "ttyVCP3", "--name", "TQM-5508AI",
                    "--port", "COM4", "--firmware", "2.10", "--codes", "07,0C", "--values", "+1,-2",
                    "--delay-ms", "5"});
    std::string out = sim.readUntilReady(10s);
    ASSERT_TRUE(out.ends_with("\nready\n")) << out << sim.errors();

    auto com3 = linkText(ports / "COM3");
    auto vcp3 = linkText(ports / "ttyVCP3");
    auto com4 = linkText(ports / "COM4");
    ASSERT_TRUE(vcp3 && com4);
    EXPECT_EQ(com3, "ttyVCP3");
    EXPECT_EQ(out, "ready COM3 -> " + *vcp3 + "\nready COM4 -> " + *com4 + "\nready\n");

    // Eight channels from the name, with the default codes and values.
    EXPECT_EQ(exchange(ports / "COM3", "$01M\r"), "!01TQM-5508AI\r");
    EXPECT_EQ(exchange(ports / "COM3", "$018C7\r"), "!01C7R0A\r");
    EXPECT_EQ(exchange(ports / "COM3", "#01\r"), ">+01.000+02.000+03.000+04.000+05.000+06.000+07.000+08.000\r");
    EXPECT_EQ(exchange(ports / "COM4", "$01F\r"), "!012.10\r");
    EXPECT_EQ(exchange(ports / "COM4", "$018C1\r"), "!01C1R0C\r");
    EXPECT_EQ(exchange(ports / "COM4", "#01\r"), ">+1-2\r");
    EXPECT_EQ(exchange(ports / "COM4", "#012\r"), "?01\r");

    EXPECT_EQ(sim.stop(SIGTERM), 0) << sim.errors();
    EXPECT_TRUE(fs::is_empty(ports));
}

TEST(TessaroSimCommand, TakesThePortDirectoryFromTheEnvironment) {
    tessaro::test::IsolatedDir dir; // sets TESSARO_PORT_DIR
    SimProcess sim({"--port", "COM9"});
    std::string out = sim.readUntilReady(10s);
    ASSERT_TRUE(out.ends_with("\nready\n")) << out << sim.errors();
    EXPECT_EQ(exchange(fs::path(dir.portDir()) / "COM9", "#011\r"), ">+02.000\r");
    EXPECT_EQ(sim.stop(SIGINT), 0) << sim.errors();
    EXPECT_TRUE(fs::is_empty(dir.portDir()));
}

TEST(TessaroSimCommand, RefusesBadArguments) {
    tessaro::test::IsolatedDir dir;
    struct Case {
        std::vector<std::string> args;
        std::string message; // part of the error text
    };
    const Case cases[] = {
        {{}, "--port"},
        {{"--name", "TQM-5502AI", "--port", "COM3"}, "must follow the --port"},
        {{"--port"}, "needs a value"},
        {{"--port", "COM3", "--speed", "9600"}, "unknown option --speed"},
        {{"--port", "COM3", "--delay-ms", "-3"}, "--delay-ms"},
        {{"--port", "COM3", "--delay-ms", "10x"}, "--delay-ms"},
        {{"--port", "COM3", "--codes", "0A,0B", "--values", "+1"}, "entries"},
        {{"--port", "COM3", "--codes", "0A,,0B"}, "empty entry"},
        {{"--port", "COM3", "--name", "TQM-550XAI"}, "channel count"},
        {{"--port", "a/COM3"}, "plain file name"},
        {{"--port", "COM3", "--port", "COM3"}, "twice"},
        {{"--dir", "/etc/passwd/ports", "--port", "COM3"}, "/etc/passwd/ports"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        SimProcess sim(c.args);
        EXPECT_NE(sim.wait(), 0);
        EXPECT_NE(sim.errors().find(c.message), std::string::npos) << sim.errors();
    }
    EXPECT_TRUE(fs::is_empty(dir.portDir()));
}

} // namespace
