#pragma once
// The bench's version check and self-update. After every start a worker asks the file server
// for the description of the program's own file; when a newer release is there and no
// experiment runs, the front end offers it. On consent the release is downloaded beside the
// running program, checked, tried, a copy of the running version is kept under a versioned
// name, and three processes hand over:
//   old program  -> starts NAME_MM.mm /update1 NAME
//   NAME_MM.mm   -> puts its own content in place of NAME, starts NAME /update2 NAME_MM.mm
//   NAME         -> deletes NAME_MM.mm, takes back the command line the old program had.
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dravmer_version.h"
#include "platform/settings_store.h"
#include "update/query_client.h"
#include "update/release_signature.h"

namespace dravmer {

class CUpdateCheckThread;

// "HOST" or "HOST:PORT"; false when the port is not a number in 1..65535.
bool ParseServerAddress(const std::string& text, std::string& host, int& port);
// The update server a start uses: the one entered in the About box ("UpdateVersionSettings"/
// "Server") when present, else "NetProp"/"Server"; empty when none is configured (a bench
// without an update server then asks nobody).
std::string UpdateServerFromSettings(const ISettingsStore& settings);
// Stores a server entered in the About box.
void SaveUpdateServer(ISettingsStore& settings, const std::string& server);
// The lab's release key ("UpdateVersionSettings"/"PublicKey", 64 hex digits); empty when none is
// set. A bench with a key installs only releases signed with it.
std::string UpdatePublicKeyFromSettings(const ISettingsStore& settings);

// The settings file a hand-off step was told to use ("--config FILE" after "/update1 NAME" or
// "/update2 NAME"); empty when args are no hand-off step or name none.
std::string HandOffSettingsFile(const std::vector<std::string>& args);

// The largest release a bench downloads: a described size above it is refused unasked.
inline constexpr long long kMaxReleaseBytes = 512LL * 1024 * 1024;

// Why an accepted offer ended without the new version; the front end words it.
enum class EUpdateRefusal {
    kNone,
    kCancelled,         // the operator cancelled the download
    kDownload,          // the download broke off, or brought another size than described
    kTooLarge,          // described with more than kMaxReleaseBytes
    kWrite,             // the release cannot be written beside the program
    kNotProgram,        // not a program for this machine
    kNoChecksum,        // no release key, and the server published no SHA-256
    kChecksum,          // does not match the published SHA-256
    kBadKey,            // the release key in the settings is not 64 hex digits
    kNoSignature,       // a release key is set and the server has no signature of the release
    kOtherKey,          // signed, but with another key than the bench's
    kBadSignature,      // the signature is malformed or does not verify
    kSignatureVersion,  // signed as another version than the one offered
    kVersionAnswer,     // the program does not answer --version with the offered version
    kHandOff,           // the running version cannot be kept, or the new one not started
};

struct SUpdateConfig {
    int major = kProgramVersionMajor;
    int minor = kProgramVersionMinor;
    // The running program; /proc/self/exe when empty.
    std::filesystem::path executable;
    // The file asked for on the server; the executable's own name when empty.
    std::string fileName;
    // Where "UpdateVersion"/"CmdLine" lives; required for the hand-off.
    ISettingsStore* settings = nullptr;
    // The file behind settings when the program was given one (--config FILE); empty for the
    // user's own. The hand-off's later steps are told it, so that they read what was written.
    std::string settingsFile;
    // Lines for the program's own log (the server's log gets its lines separately).
    std::function<void(const std::string&)> trace;
    // The old process may still be ending when the next step starts: its end and the deletion
    // of the versioned download are waited for in 100 ms steps, at most this many.
    int handOffRetries = 50;
    // How long the downloaded program may take to answer --version.
    int versionAnswerMs = 5000;
    // The lab's release key as 64 hex digits; empty: releases are checked by their published
    // SHA-256 alone (SetPublicKey changes it).
    std::string publicKey;
    // Whether the program's folder can be written; the file system is asked when empty.
    std::function<bool(const std::filesystem::path&)> folderWritable;
    // Puts a copy of a program file in place of another; ReplaceFileAtomically when empty.
    std::function<bool(const std::filesystem::path& from, const std::filesystem::path& to)>
        replaceFile;
};

// What the front end shows in its question box.
struct SUpdateOffer {
    std::string server;
    int serverMajor = 0, serverMinor = 0;
    int currentMajor = 0, currentMinor = 0;
    std::string backupName;  // the name the running version is kept under
    std::string question;    // the question's text, lines joined by "\r\n"
    std::string title;       // "Обновление версии", in the service's language
};

struct SCheckResult {
    int result = -1;          // the client's result code; -1 when the connection timed out
    bool described = false;   // the server answered with the file's description
    int serverMajor = 0, serverMinor = 0;
    bool newer = false;       // the server's version is newer than the running one
    bool offered = false;     // newer and the program folder can be written
    bool packageManaged = false;
};

class CUpdateService {
public:
    enum ECheckState { kNotStarted = 0, kNewer = 1, kNothing = 2, kChecking = 3 };

    explicit CUpdateService(SUpdateConfig config);
    ~CUpdateService();
    CUpdateService(const CUpdateService&) = delete;
    CUpdateService& operator=(const CUpdateService&) = delete;

    void SetServerName(const std::string& name, int tcpPort = kFileServerTcpPort);
    std::string ServerName() const;
    void SetPublicKey(const std::string& hex);
    std::string PublicKey() const;
    std::string VersionText() const;  // "05.43"

    // Start-up step, before anything else: 0 no hand-off, 2 hand-off finished (run normally
    // with CommandLine()), 1 the next process was started, -1 failure (end this process at once
    // in both cases). A start that runs on (0, 2) first removes what killed downloads left.
    int HandOff(const std::vector<std::string>& args);
    // Removes partial downloads and copies beside the program that no running process owns
    // (RemoveStalePartFiles); the number removed.
    int RemoveStalePartFiles() const;
    // The settings the program runs with, once it knows them (after HandOff): the hand-off it
    // starts keeps its values there and tells its next steps the file.
    void UseSettings(ISettingsStore* settings, const std::string& file);
    // The arguments to run with: the given ones, or after a finished hand-off the ones the old
    // program had.
    const std::vector<std::string>& CommandLine() const { return m_commandLine; }

    // The check on a worker; its state is polled once a second by the front end.
    void StartCheck();
    int CheckState() const { return m_state.load(); }
    // The same check on the calling thread, with everything it learnt.
    // connectLimitMs bounds the connection (-1: no bound but a stop of the calling worker).
    SCheckResult CheckNow(int connectLimitMs = -1);
    // True when the program's folder cannot be written: updates then come from the package
    // manager and nothing is offered.
    bool PackageManaged() const;

    // The offer, in two halves so that a window can ask in between without blocking:
    // PrepareOffer connects (within 1 s), asks the description and sends the log line of a new
    // version: 1 with offer filled, 0 nothing newer, -1 failure. The connection is closed in
    // every case; DownloadOffer connects again and has the release described anew (refused when
    // the server's version changed meanwhile).
    int PrepareOffer(SUpdateOffer& offer);
    // Downloads the offered release beside the running program as NAME_MM.mm, streaming it
    // through a temporary file, and checks it: size, machine, published SHA-256, the signature
    // when a release key is set, its answer to --version. 1 ready for StartHandOff; -1 refused
    // (LastRefusal says why) with nothing left behind. progress gets percents.
    int DownloadOffer(const std::function<void(int)>& progress = {});
    // From any thread: a download under way ends as soon as it can, refused as cancelled.
    void CancelDownload();
    // Keeps the running version under its versioned name and starts the downloaded one with
    // /update1: 1 started (end this program at once), -1 failure (the running version stays).
    int StartHandOff();
    // Tells the server's log that the update was started (connecting again within 1 s).
    void LogHandOffStarted();
    // The downloaded release is not wanted after all: it is removed.
    void DiscardDownload();
    bool HasDownload() const { return !m_downloaded.empty(); }
    // DownloadOffer, StartHandOff and LogHandOffStarted in a row: 1 the new version was started
    // (end this program), -1 failure (everything stays as it was).
    int AcceptOffer(const std::function<void(int)>& progress = {});
    // The operator said no: the connection closes, nothing changes.
    void DeclineOffer();
    // Both halves at once: ask is called with the offer (no question when it is empty);
    // 1, 0 or -1 as the two halves return them, -1 when declined.
    int OfferUpdate(const std::function<bool(const SUpdateOffer&)>& ask);

    EUpdateRefusal LastRefusal() const { return m_refusal.load(); }
    // The cause of the last failed offer or check, for a log.
    std::string LastError() const;
    // The language of the offer's question and of the server's result texts in LastError (the
    // update log stays as it is).
    void SetLanguage(Language language) { m_language = language; }

private:
    friend class CUpdateCheckThread;
    void RunCheck();
    void Trace(const std::string& line) const;
    void SetError(const std::string& text);
    std::string Versioned(int major, int minor) const;  // NAME_MM.mm
    std::filesystem::path Folder() const { return m_executable.parent_path(); }
    // "/updateN NAME", and "--config FILE" when the settings are another file than the user's.
    std::vector<std::string> HandOffArgs(const std::string& step, const std::string& name) const;
    int HandOffReplace(const std::string& oldName);
    int HandOffFinish(const std::string& downloadName);
    void RunOldProgram(const std::filesystem::path& program);
    void WaitForOldProcess() const;
    bool Replace(const std::filesystem::path& from, const std::filesystem::path& to) const;
    int Refuse(EUpdateRefusal why, const std::string& text);
    // Connects again when the connection is gone (within 1 s): 0 or a result code.
    int ReconnectForDownload();
    EUpdateRefusal FetchAndVerifySignature(CReleaseVerifier& verifier, const ReleaseKey& key);

    SUpdateConfig m_config;
    std::filesystem::path m_executable;
    std::string m_fileName;
    std::vector<std::string> m_commandLine;

    mutable std::mutex m_mutex;  // server name, last error
    std::string m_server;
    int m_port = kFileServerTcpPort;
    std::string m_lastError;
    std::string m_publicKey;

    std::atomic<int> m_state{kNotStarted};
    std::atomic<Language> m_language{Language::Russian};
    std::unique_ptr<CUpdateCheckThread> m_checkThread;
    CQueryClient m_client;  // the check's worker, then the offer: never both at once
    SFileDescription m_offered;
    bool m_offerOpen = false;
    std::atomic<bool> m_cancel{false};
    std::atomic<EUpdateRefusal> m_refusal{EUpdateRefusal::kNone};
    std::filesystem::path m_downloaded;  // a checked release waiting for StartHandOff
    mutable std::once_flag m_packageNote;
};

}  // namespace dravmer
