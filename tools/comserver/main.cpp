// dravmer-comserver: shares this computer's serial lines with the benches of a lab.
#include <signal.h>

#include <CLI/CLI.hpp>
#include <string>
#include <cstring>
#include <iostream>
#include <mutex>

#include "dravmer_version.h"
#include "comserver/com_server.h"

int main(int argc, char** argv) {
    dravmer::comserver::SComServerOptions options;
    CLI::App app{"Shares local serial lines over TCP (COM-server protocol); the first LINE is COM1."};
    app.add_option("LINE", options.lines, "serial line device paths, e.g. /dev/ttyUSB0")
        ->required();
    app.add_option("--port", options.port, "TCP port")->capture_default_str()->check(CLI::Range(1, 65535));
    app.add_option("--listen", options.listen,
                   "address to listen on; the default 0.0.0.0 is every interface of this "
                   "computer (127.0.0.1: this computer alone)")
        ->capture_default_str();
    app.add_option("--max-per-peer", options.maxPerPeer,
                   "connections one address may hold at a time; for a newcomer a full server "
                   "lets go of the longest-connected client that has no line (it never answered "
                   "the greeting), else of one of the address holding the most connections if "
                   "that holds two more than the newcomer's, once it has been there 2 s")
        ->capture_default_str()
        ->check(CLI::Range(1, 1000));
    // The speeds listed in the text, not after the option: a list there cannot be broken into
    // lines (the help, the man page).
    app.add_option("--baud", options.params.baud,
                   "line speed: 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, "
                   "56000, 57600 or 115200")
        ->capture_default_str()
        ->type_name("BAUD")
        ->check(CLI::IsMember({110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000,
                               57600, 115200})
                    .description(""));
    app.add_option("--timeout", options.replyTimeoutMs, "milliseconds a device may take to answer")
        ->capture_default_str()
        ->check(CLI::Range(10, 60000));
    int idleSeconds = options.idleTimeoutMs / 1000;
    app.add_option("--idle-timeout", idleSeconds,
                   "seconds a client may stay without a whole message before it is let go")
        ->capture_default_str()
        ->check(CLI::Range(5, 86400));
    app.set_version_flag("--version", std::string("dravmer-comserver ") + dravmer::kProgramVersion);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and version end with 0; a command line that cannot be taken is a usage error (2),
        // as for the bench's other programs.
        return app.exit(e) == 0 ? 0 : 2;
    }
    options.idleTimeoutMs = idleSeconds * 1000;
    // Lines come from the server's threads; under systemd they reach the journal.
    static std::mutex logMutex;
    options.log = [](const std::string& line) {
        std::lock_guard lock(logMutex);
        std::cerr << "dravmer-comserver: " << line << "\n";
    };

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    dravmer::comserver::CComServer server(options);
    std::string error;
    if (!server.Listen(error)) {
        std::cerr << "dravmer-comserver: " << error << "\n";
        return 1;
    }
    for (int i = 0; i < server.LineCount(); ++i) {
        const auto& line = server.Line(i);
        std::cerr << "dravmer-comserver: COM" << i + 1 << " = " << line.Path()
                  << (line.IsOpen() ? ""
                                    : " (cannot be opened yet: " +
                                          std::string(std::strerror(line.OpenError())) +
                                          "; tried again until it can)")
                  << "\n";
    }
    server.Start();
    std::cerr << "dravmer-comserver: listening on " << options.listen << ":" << server.TcpPort()
              << "\n";
    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::cerr << "dravmer-comserver: stopping\n";
    return 0;
}
