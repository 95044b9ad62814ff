// dravmer-fileserver: serves the lab's releases of the bench program to its benches.
#include <signal.h>

#include <CLI/CLI.hpp>
#include <string>
#include <iostream>

#include "dravmer_version.h"
#include "fileserver/file_server.h"
#include "fileserver/release_signing.h"

int main(int argc, char** argv) {
    // --gen-key and --sign do their work and end; they start no server.
    if (const int rc = dravmer::fileserver::RunSigningCommand(argc, argv, std::cout, std::cerr);
        rc >= 0) {
        return rc;
    }
    dravmer::fileserver::SFileServerOptions options;
    int idleSeconds = options.idleTimeoutMs / 1000;
    CLI::App app{"Serves the releases in a folder to the benches (remote file service)."};
    app.add_option("--root", options.root, "folder of the releases and versions.txt")
        ->required()
        ->check(CLI::ExistingDirectory);
    app.add_option("--port", options.port, "TCP port")->capture_default_str()->check(CLI::Range(1, 65535));
    app.add_option("--listen", options.listen,
                   "address to listen on; the default 0.0.0.0 is every interface of this "
                   "computer (127.0.0.1: this computer alone)")
        ->capture_default_str();
    app.add_option("--max-per-peer", options.maxPerPeer,
                   "connections one address may hold at a time; for a newcomer a full server "
                   "lets go of the longest-connected client that has had no request on the "
                   "releases answered, else of one of the address holding the most connections "
                   "if that holds two more than the newcomer's, once it has been there 2 s, else "
                   "of the one quiet for 2 s or longer")
        ->capture_default_str()
        ->check(CLI::Range(1, 1000));
    app.add_flag("--allow-upload", options.allowUpload,
                 "accept uploads, deletions and catalog changes");
    app.add_option("--log", options.logFile,
                   "file for the benches' log lines, outside ROOT (default "
                   "~/.local/state/Dravmer/dravmer-fileserver.log), capped and rotated");
    app.add_option("--idle-timeout", idleSeconds,
                   "seconds a client keeps its connection without a whole request")
        ->capture_default_str()
        ->check(CLI::Range(1, 86400));
    app.set_version_flag("--version", std::string("dravmer-fileserver ") + dravmer::kProgramVersion);
    app.footer(dravmer::fileserver::kSigningUsage);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and version end with 0; a command line that cannot be taken is a usage error (2),
        // as for the bench's other programs.
        return app.exit(e) == 0 ? 0 : 2;
    }
    options.idleTimeoutMs = idleSeconds * 1000;
    options.notice = [](const std::string& text) {
        std::cerr << "dravmer-fileserver: " << text << "\n";
    };

    // The signals are taken by this thread alone; the server's threads never see them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    dravmer::fileserver::CFileServer server(options);
    std::string error;
    if (!server.Listen(error)) {
        std::cerr << "dravmer-fileserver: " << error << "\n";
        return 1;
    }
    server.Start();
    std::cerr << "dravmer-fileserver: serving " << options.root.string() << " on "
              << options.listen << ":" << server.TcpPort()
              << (options.allowUpload ? " (uploads allowed)" : "") << ", log "
              << server.LogFile().string() << "\n";
    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::cerr << "dravmer-fileserver: stopping\n";
    return 0;
}
