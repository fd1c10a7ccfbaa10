// A simulated analog-input module on a pseudo-terminal.
//
// The simulator opens a pty, keeps its slave open (so the terminal keeps its settings while
// the library has the port closed), links the slave into a port directory under a COM name,
// optionally through a VCP-named alias link (portDir/COM3 -> ttyVCP3 -> /dev/pts/N), and
// answers the module's command protocol from a thread of its own until it is destroyed.
//
// Protocol (CR = 0x0D; the address is always "01"):
//   "$01M" CR                      -> "!01" name CR
//   "$01F" CR                      -> "!01" firmware CR
//   "$018C" ch CR                  -> "!01C" ch "R" code CR           (read range code)
//   "$017C" ch "R" code CR         -> "!01" CR, the code text is kept (set range code)
//   "#01" ch CR                    -> ">" value CR
//   "#01" CR                       -> ">" every channel's value, concatenated, CR
//   anything else, or a channel that is not configured -> "?01" CR
// Incoming line feeds and NUL bytes are dropped; a CR ends a command line. The slave is put
// in raw mode at start, so nothing is translated on the way.
//
// Timing: a reply is written replyDelay after the command's CR was read (at once for 0),
// in one write. Replies are queued in order of their due time.
//
// Faults and setNextReply() act on whole commands, counted from the call that set them:
//   NoReply          the command is recorded, nothing is sent.
//   WrongFirstChar   the normal reply with its first byte replaced by '?'.
//   LateReply        the normal reply, written 300 ms after the command's CR (instead of
//                    replyDelay), so it misses a 200 ms reading window and is waiting as a
//                    stale line when the next exchange starts.
//   NoCarriageReturn the normal reply without its final CR.
//   LongLine         a 300-byte line: '!', 298 filler digits "0123456789012...", CR.
//   NoiseBeforeReply the normal reply followed, in the same write, by the noise line
//                    "~noise~" CR. A reader that stops at the reply's CR therefore finds the
//                    noise waiting before the reply to the NEXT command: it is the stale line
//                    that the next exchange must discard.
//   HangUp           when the command's CR arrives, the terminal disappears the way an
//                    unplugged adapter does: the port links are removed first, then the master
//                    and the simulator's own slave descriptor are closed, so a client holding
//                    the port sees POLLHUP (and EIO on write). Only then is the command
//                    recorded, so once waitForCommands() sees it the hang-up is complete. The
//                    simulator answers nothing afterwards; the other member functions still
//                    work and destruction stays clean.
// setNextReply(raw) takes precedence over a fault: the next command is answered with exactly
// raw (after replyDelay) and does not use up a fault's count.
//
// Thread safety: every member function may be called from any thread while the simulator
// runs. Simulators are independent of each other; many may run in one process.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessaro::sim {

struct ModuleConfig {
    std::string name = "TQM-5502AI";
    std::string firmware = "1.00";
    // Per channel: range code text as the module reports it ("0A") and value text ("+05.000").
    // Both must have one entry per channel (the constructor throws std::invalid_argument).
    std::vector<std::string> rangeCodes = {"0A", "0A"};
    std::vector<std::string> values = {"+01.000", "+02.000"};
    // Time between the end of a command line and the start of the reply.
    std::chrono::milliseconds replyDelay{0};
};

// Misbehaviour on demand; each applies to the commands that follow its setting.
// The exact effect of each is described at the top of this header.
enum class Fault {
    None,
    NoReply,          // the command is recorded but never answered
    WrongFirstChar,   // the reply starts with '?' instead of '!' or '>'
    LateReply,        // the reply comes 300 ms after the command, past the exchange's window
    NoCarriageReturn, // the reply lacks its final CR
    LongLine,         // a 300-byte reply line
    NoiseBeforeReply, // a line of noise arrives between two commands, before the next one
    HangUp,           // the terminal disappears when the command arrives (hang-up)
};

class ModuleSimulator {
public:
    // Links portDir/comName to the pty slave, through portDir/aliasName when it is not empty.
    // portDir is created when missing. A symbolic link already at either name (left behind by
    // a killed run) is replaced; any other file there is an error. Throws std::system_error or
    // std::invalid_argument (names containing '/', channel tables of different sizes).
    ModuleSimulator(ModuleConfig config, std::string portDir, std::string comName,
                    std::string aliasName = "");
    // Stops answering, closes the pty and removes its links (only those that still point
    // where this simulator put them).
    ~ModuleSimulator();
    ModuleSimulator(const ModuleSimulator&) = delete;
    ModuleSimulator& operator=(const ModuleSimulator&) = delete;

    // Applies fault to the next `commands` commands (-1: until set to Fault::None).
    void setFault(Fault fault, int commands = -1);
    // The next command is answered with exactly these bytes (no CR added).
    void setNextReply(std::string raw);

    // Every command line received so far, in order, each with its final CR.
    std::vector<std::string> received() const;
    void clearReceived();
    // Blocks until at least n command lines were received or the timeout passes.
    bool waitForCommands(size_t n, std::chrono::milliseconds timeout) const;

    // Channel accessors throw std::out_of_range for a channel that is not configured.
    std::string rangeCode(int channel) const;
    void setRangeCode(int channel, std::string code);
    void setValue(int channel, std::string value);

    std::string slavePath() const;  // e.g. /dev/pts/7
    std::string portPath() const;   // portDir/comName

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace tessaro::sim
