#pragma once
// The simulator's command line and the operator commands it reads on stdin while it serves.
// Parsing is pure; ApplySimCommand is the only piece that touches a line.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_line.h"

namespace dravmer::sim {

enum class ESimMode { Pty, Tcp, ComServer };

struct SSimOptions {
    ESimMode mode = ESimMode::Pty;
    int tcpPort = 0;  // --tcp / --comserver; 0 picks a free port
    std::string linkPath;
    // Devices answering the common address together cannot be told apart by a search: a line
    // without a transit device has one device unless more are asked for.
    static constexpr int kDefaultDevicesDirect = 1;
    static constexpr int kDefaultDevicesBehindTransit = 3;
    int devices = -1;  // -1: the default for the line (resolved by ParseSimOptions)
    std::uint32_t first = 4000001;
    std::uint32_t step = 1;
    std::uint32_t transit = 0;
    int transitKind = 4;
    int baud = 115200;
    SFaults faults;  // faults armed before the first request
    // --log FILE: one line "UNIX_MS ADDRESS CYCLE MODE" per measurement reply (ADC mode 0 or 1)
    // sent untouched by a fault, so a test can tell which records the devices gave the bench
    std::string logPath;
    bool help = false;
    bool version = false;  // --version: print it and end
};

// The help text of the command line.
std::string SimUsage();

// What the operator should know before serving: several devices directly on one line answer a
// search together, so no bench finds them (they still answer their own addresses). Empty when
// there is nothing to say.
std::string SimLineWarning(const SSimOptions& options);

// Parses the arguments after the program name. False with a one-line message in error when an
// option is unknown, lacks its value or has a value out of range; options is then unspecified.
bool ParseSimOptions(const std::vector<std::string>& args, SSimOptions& options,
                     std::string& error);

enum class ESimCommand {
    Drop,
    Crc,
    Address,
    Command,
    Result,
    Transit,
    Slow,
    Loss,
    Noise,
    Off,
    On,
    List,
    Faults,
    Help,
    Quit,
};

struct SSimCommand {
    ESimCommand kind = ESimCommand::Help;
    std::uint32_t value = 0;  // count, code, milliseconds, percent or device address
    int count = 0;            // replies affected, for result, transit and slow
};

// Parses one line typed by the operator. False with a message in error for an unknown command,
// a missing or extra argument, or a value out of range.
bool ParseSimCommand(const std::string& text, SSimCommand& command, std::string& error);

// Carries out a parsed command on the line and describes the outcome in answer (one or more
// lines, no trailing newline). False when it could not be done (no such device, no transit
// device); the line is then unchanged. Quit and Help change nothing.
bool ApplySimCommand(const SSimCommand& command, CSimLine& line, std::string& answer);

extern const char* const kSimCommandHelp;

}  // namespace dravmer::sim
