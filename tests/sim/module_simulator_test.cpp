// The simulator seen from a client of its port: exact reply bytes, recorded commands, links,
// faults. Time limits are generous upper bounds (tests share a loaded machine); lower bounds
// are exact, since the simulator cannot answer before the command was sent.
#include "module_simulator.h"
#include "pty_client.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <system_error>

#include <poll.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace std::string_literals;
using tessaro::sim::Fault;
using tessaro::sim::ModuleConfig;
using tessaro::sim::ModuleSimulator;
using tessaro::test::PtyClient;
using tessaro::test::linkText;
using Clock = std::chrono::steady_clock;

constexpr auto kPatience = 5000ms; // for something that must arrive
constexpr auto kSilence = 500ms;   // for something that must not

bool isPresent(const fs::path& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found;
}

ModuleConfig twoChannels() {
    ModuleConfig config;
    config.name = "TQM-5502AI";
    config.firmware = "1.00";
    config.rangeCodes = {"0A", "0B"};
    config.values = {"+01.000", "-02.500"};
    return config;
}

class SimulatorTest : public ::testing::Test {
protected:
    void start(ModuleConfig config = twoChannels(), std::string alias = "") {
        sim = std::make_unique<ModuleSimulator>(std::move(config), dir.portDir(), "COM3", std::move(alias));
        client = std::make_unique<PtyClient>(sim->portPath());
    }

    // One exchange: the command, then the reply line.
    std::string ask(const std::string& command) {
        client->send(command);
        return client->readLine(kPatience);
    }

    tessaro::test::IsolatedDir dir;
    std::unique_ptr<ModuleSimulator> sim;
    std::unique_ptr<PtyClient> client;
};

TEST_F(SimulatorTest, AnswersEveryCommandWithItsReplyBytes) {
    start();
    struct Case {
        std::string command;
        std::string reply;
    };
    const Case cases[] = {
        {"$01M\r", "!01TQM-5502AI\r"},
        {"$01F\r", "!011.00\r"},
        {"$018C0\r", "!01C0R0A\r"},
        {"$018C1\r", "!01C1R0B\r"},
        {"$018C2\r", "?01\r"},      // not a configured channel
        {"$018C\r", "?01\r"},       // no channel
        {"#010\r", ">+01.000\r"},
        {"#011\r", ">-02.500\r"},
        {"#01\r", ">+01.000-02.500\r"},
        {"#012\r", "?01\r"},
        {"#01x\r", "?01\r"},
        {"$017C2R0A\r", "?01\r"},   // set on a channel that does not exist
        {"$017C1R\r", "?01\r"},     // set without a code
        {"$02M\r", "?01\r"},        // another address
        {"$01MX\r", "?01\r"},
        {"\r", "?01\r"},
        {"$0\n1\0M\r"s, "!01TQM-5502AI\r"}, // line feeds and NULs do not count
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.command));
        EXPECT_EQ(ask(c.command), c.reply);
    }
    // Nothing beyond the one line per command.
    EXPECT_EQ(client->collect(200ms, 200ms), "");
}

TEST_F(SimulatorTest, SetRangeCodeIsReadBackAndVisibleToTheTest) {
    start();
    EXPECT_EQ(ask("$017C1R0C\r"), "!01\r");
    EXPECT_EQ(ask("$018C1\r"), "!01C1R0C\r");
    EXPECT_EQ(sim->rangeCode(1), "0C");
    EXPECT_EQ(sim->rangeCode(0), "0A");

    sim->setRangeCode(0, "FF");
    sim->setValue(1, "+09.999");
    EXPECT_EQ(ask("$018C0\r"), "!01C0RFF\r");
    EXPECT_EQ(ask("#01\r"), ">+01.000+09.999\r");

    EXPECT_THROW(sim->rangeCode(2), std::out_of_range);
    EXPECT_THROW(sim->setValue(-1, "x"), std::out_of_range);
}

TEST_F(SimulatorTest, RecordsCommandLinesInOrder) {
    start();
    // Two commands in one write, then one split over two writes.
    client->send("$01M\r#010\r$01");
    ASSERT_TRUE(sim->waitForCommands(2, kPatience));
    client->send("F\r");
    ASSERT_TRUE(sim->waitForCommands(3, kPatience));
    EXPECT_EQ(sim->received(), (std::vector<std::string>{"$01M\r", "#010\r", "$01F\r"}));

    sim->clearReceived();
    EXPECT_TRUE(sim->received().empty());
    EXPECT_FALSE(sim->waitForCommands(1, 100ms));
    client->send("#01\r");
    ASSERT_TRUE(sim->waitForCommands(1, kPatience));
    EXPECT_EQ(sim->received(), std::vector<std::string>{"#01\r"});
}

TEST_F(SimulatorTest, WaitsReplyDelayBeforeAnswering) {
    ModuleConfig config = twoChannels();
    config.replyDelay = 250ms;
    start(config);
    auto sent = Clock::now();
    EXPECT_EQ(ask("$01F\r"), "!011.00\r");
    EXPECT_GE(Clock::now() - sent, 250ms);
}

TEST_F(SimulatorTest, LinksThroughAliasAndRemovesTheLinks) {
    start(twoChannels(), "ttyVCP3");
    fs::path com = fs::path(dir.portDir()) / "COM3";
    fs::path alias = fs::path(dir.portDir()) / "ttyVCP3";
    EXPECT_EQ(sim->portPath(), com.string());
    EXPECT_EQ(sim->slavePath().rfind("/dev/pts/", 0), 0u) << sim->slavePath();
    EXPECT_EQ(linkText(com), "ttyVCP3"); // relative: the first hop names the alias
    EXPECT_EQ(linkText(alias), sim->slavePath());
    EXPECT_EQ(ask("$01M\r"), "!01TQM-5502AI\r");

    client.reset();
    sim.reset();
    EXPECT_FALSE(isPresent(com));
    EXPECT_FALSE(isPresent(alias));
}

TEST_F(SimulatorTest, LinksDirectlyWithoutAliasAndCreatesTheDirectory) {
    fs::path portDir = fs::path(dir.path()) / "new" / "ports";
    auto sim = std::make_unique<ModuleSimulator>(twoChannels(), portDir.string(), "COM12");
    EXPECT_EQ(linkText(portDir / "COM12"), sim->slavePath());
    {
        PtyClient client(sim->portPath());
        client.send("$01F\r");
        EXPECT_EQ(client.readLine(kPatience), "!011.00\r");
    }
    sim.reset();
    EXPECT_FALSE(isPresent(portDir / "COM12"));
}

TEST_F(SimulatorTest, ReplacesAStaleLinkButNotAFile) {
    fs::path com = fs::path(dir.portDir()) / "COM3";
    fs::create_symlink("/dev/pts/nothing", com);
    start();
    EXPECT_EQ(linkText(com), sim->slavePath());

    std::ofstream(fs::path(dir.portDir()) / "COM4") << "a file";
    EXPECT_THROW(ModuleSimulator(twoChannels(), dir.portDir(), "COM4"), std::system_error);
    EXPECT_TRUE(fs::is_regular_file(fs::path(dir.portDir()) / "COM4"));
}

TEST_F(SimulatorTest, LeavesALinkThatWasTakenOver) {
    start();
    fs::path com = fs::path(dir.portDir()) / "COM3";
    fs::remove(com);
    fs::create_symlink("/dev/null", com);
    client.reset();
    sim.reset();
    EXPECT_EQ(linkText(com), "/dev/null");
}

TEST_F(SimulatorTest, RefusesInconsistentConfiguration) {
    ModuleConfig config = twoChannels();
    config.values.pop_back();
    EXPECT_THROW(ModuleSimulator(config, dir.portDir(), "COM3"), std::invalid_argument);
    EXPECT_THROW(ModuleSimulator(twoChannels(), dir.portDir(), "sub/COM3"), std::invalid_argument);
    EXPECT_FALSE(isPresent(fs::path(dir.portDir()) / "COM3"));
}

// Faults whose effect is visible in the bytes of one exchange; the fault is set for one
// command, so the following command is answered normally again.
TEST_F(SimulatorTest, FaultChangesTheReplyOfOneCommand) {
    start();
    struct Case {
        const char* label;
        Fault fault;
        std::string bytes; // everything the faulted command brings
    };
    const Case cases[] = {
        {"NoReply", Fault::NoReply, ""},
        {"WrongFirstChar", Fault::WrongFirstChar, "?01TQM-5502AI\r"},
        {"NoCarriageReturn", Fault::NoCarriageReturn, "!01TQM-5502AI"},
        {"NoiseBeforeReply", Fault::NoiseBeforeReply, "!01TQM-5502AI\r~noise~\r"},
        {"None", Fault::None, "!01TQM-5502AI\r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        sim->setFault(c.fault, 1);
        client->send("$01M\r");
        EXPECT_EQ(client->collect(c.bytes.empty() ? kSilence : kPatience, 300ms), c.bytes);
        EXPECT_EQ(ask("$01F\r"), "!011.00\r");
    }
    EXPECT_EQ(sim->received().size(), 2 * std::size(cases));
}

TEST_F(SimulatorTest, NoiseWaitsAsAStaleLineBetweenTwoReplies) {
    start();
    sim->setFault(Fault::NoiseBeforeReply, 1);
    // A reader that stops at the CR gets the reply alone; the noise is next in line.
    EXPECT_EQ(ask("$01M\r"), "!01TQM-5502AI\r");
    EXPECT_EQ(client->readLine(kPatience), "~noise~\r");
    EXPECT_EQ(ask("$01F\r"), "!011.00\r");
}

TEST_F(SimulatorTest, LongLineIsThreeHundredBytesWithOneFinalCarriageReturn) {
    start();
    sim->setFault(Fault::LongLine, 1);
    std::string line = ask("#010\r");
    ASSERT_EQ(line.size(), 300u);
    EXPECT_EQ(line.front(), '!');
    EXPECT_EQ(line.back(), '\r');
    EXPECT_EQ(std::count(line.begin(), line.end(), '\r'), 1);
    EXPECT_EQ(ask("#010\r"), ">+01.000\r");
}

TEST_F(SimulatorTest, LateReplyMissesAWindowOf200Milliseconds) {
    start();
    sim->setFault(Fault::LateReply, 1);
    auto sent = Clock::now();
    client->send("$01M\r");
    EXPECT_EQ(client->readLine(200ms), "");
    EXPECT_EQ(client->readLine(kPatience), "!01TQM-5502AI\r");
    EXPECT_GE(Clock::now() - sent, 300ms);
    EXPECT_EQ(ask("$01F\r"), "!011.00\r");
}

TEST_F(SimulatorTest, FaultLastsForItsCountOrUntilCleared) {
    start();
    struct Case {
        int count;
        int faulty; // replies that start with '?' before the normal ones return
    };
    const Case cases[] = {{0, 0}, {1, 1}, {3, 3}, {-1, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        sim->setFault(Fault::WrongFirstChar, c.count);
        for (int i = 0; i < c.faulty; ++i)
            EXPECT_EQ(ask("$01F\r"), "?011.00\r");
        if (c.count < 0)
            sim->setFault(Fault::None);
        EXPECT_EQ(ask("$01F\r"), "!011.00\r");
    }
}

TEST_F(SimulatorTest, NextReplyIsSentVerbatimOnceAndKeepsTheFaultForLater) {
    start();
    sim->setFault(Fault::WrongFirstChar, 1);
    sim->setNextReply("!01XYZ");
    client->send("$01M\r");
    EXPECT_EQ(client->collect(kPatience, 300ms), "!01XYZ");
    EXPECT_EQ(ask("$01M\r"), "?01TQM-5502AI\r");
    EXPECT_EQ(ask("$01M\r"), "!01TQM-5502AI\r");
}

TEST_F(SimulatorTest, HangUpRemovesThePortAndHangsUpTheClient) {
    start(twoChannels(), "ttyVCP3");
    ASSERT_EQ(ask("$01M\r"), "!01TQM-5502AI\r");
    sim->setFault(Fault::HangUp, 1);
    client->send("$01F\r");
    // Once the command is recorded, the hang-up is complete.
    ASSERT_TRUE(sim->waitForCommands(2, kPatience));
    EXPECT_EQ(sim->received().back(), "$01F\r");
    EXPECT_FALSE(isPresent(sim->portPath()));
    EXPECT_FALSE(isPresent(fs::path(dir.portDir()) / "ttyVCP3"));

    EXPECT_TRUE(client->waitEvents(kPatience) & POLLHUP);
    errno = 0;
    EXPECT_EQ(::write(client->fd(), "$01M\r", 5), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(client->collect(200ms, 200ms), "");
    sim.reset(); // must be clean after the hang-up
}

TEST_F(SimulatorTest, ManySimulatorsRunSideBySide) {
    constexpr int count = 32;
    std::vector<std::unique_ptr<ModuleSimulator>> sims;
    std::vector<std::unique_ptr<PtyClient>> clients;
    for (int i = 0; i < count; ++i) {
        ModuleConfig config = twoChannels();
        config.firmware = "1." + std::to_string(i);
        sims.push_back(std::make_unique<ModuleSimulator>(config, dir.portDir(), "COM" + std::to_string(i + 1),
                                                         "ttyVCP" + std::to_string(i)));
        clients.push_back(std::make_unique<PtyClient>(sims.back()->portPath()));
    }
    for (auto& client : clients)
        client->send("$01F\r");
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(clients[i]->readLine(kPatience), "!011." + std::to_string(i) + "\r") << "COM" << i + 1;
    clients.clear();
    sims.clear();
    EXPECT_TRUE(fs::is_empty(dir.portDir()));
}

} // namespace
