#include "update/update_service.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include "platform/cp1251.h"
#include "platform/paths.h"
#include "platform/worker_thread.h"
#include "update/self_update_files.h"
#include "update/update_text.h"

namespace dravmer {

namespace fs = std::filesystem;
using namespace update_text;

namespace {

constexpr int kStepMs = 100;

}  // namespace

bool ParseServerAddress(const std::string& text, std::string& host, int& port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        host = text;
        return !host.empty();
    }
    host = text.substr(0, colon);
    const std::string digits = text.substr(colon + 1);
    if (host.empty() || digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    port = std::stoi(digits);
    return port >= 1 && port <= 65535;
}

std::string HandOffSettingsFile(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "/update1" && args[i] != "/update2") continue;
        for (std::size_t j = i + 2; j + 1 < args.size(); ++j) {
            if (args[j] == "--config") return args[j + 1];
        }
        return {};
    }
    return {};
}

std::string UpdateServerFromSettings(const ISettingsStore& settings) {
    std::string server = settings.GetString("UpdateVersionSettings", "Server", "");
    if (server.empty()) server = settings.GetString("NetProp", "Server", "");
    return server;
}

void SaveUpdateServer(ISettingsStore& settings, const std::string& server) {
    settings.SetString("UpdateVersionSettings", "Server", server);
    settings.Flush();
}

std::string UpdatePublicKeyFromSettings(const ISettingsStore& settings) {
    return settings.GetString("UpdateVersionSettings", "PublicKey", "");
}

class CUpdateCheckThread : public CWorkerThread {
public:
    explicit CUpdateCheckThread(CUpdateService& service) : m_service(service) {}
    ~CUpdateCheckThread() override { Stop(); }

protected:
    int Run() override {
        m_service.RunCheck();
        return 0;
    }

private:
    CUpdateService& m_service;
};

CUpdateService::CUpdateService(SUpdateConfig config) : m_config(std::move(config)) {
    m_executable = m_config.executable.empty() ? ExecutablePath() : m_config.executable;
    m_fileName = m_config.fileName.empty() ? m_executable.filename().string() : m_config.fileName;
    m_publicKey = m_config.publicKey;
}

CUpdateService::~CUpdateService() {
    m_checkThread.reset();
    DiscardDownload();
    if (m_client.IsConnected()) m_client.Disconnect();
}

void CUpdateService::SetPublicKey(const std::string& hex) {
    std::lock_guard lock(m_mutex);
    m_publicKey = hex;
}

std::string CUpdateService::PublicKey() const {
    std::lock_guard lock(m_mutex);
    return m_publicKey;
}

void CUpdateService::SetServerName(const std::string& name, int tcpPort) {
    std::lock_guard lock(m_mutex);
    m_server = name;
    m_port = tcpPort;
}

std::string CUpdateService::ServerName() const {
    std::lock_guard lock(m_mutex);
    return m_server;
}

std::string CUpdateService::VersionText() const {
    return VersionString(m_config.major, m_config.minor);
}

std::string CUpdateService::Versioned(int major, int minor) const {
    return m_executable.filename().string() + "_" + VersionString(major, minor);
}

void CUpdateService::Trace(const std::string& line) const {
    if (m_config.trace) m_config.trace(line);
}

void CUpdateService::SetError(const std::string& text) {
    {
        std::lock_guard lock(m_mutex);
        m_lastError = text;
    }
    Trace("update: " + text);
}

std::string CUpdateService::LastError() const {
    std::lock_guard lock(m_mutex);
    return m_lastError;
}

bool CUpdateService::PackageManaged() const {
    const bool managed = m_config.folderWritable ? !m_config.folderWritable(Folder())
                                                 : ::access(Folder().c_str(), W_OK) != 0;
    if (managed) {
        std::call_once(m_packageNote, [&] {
            Trace("update: the program folder " + Folder().string() +
                  " cannot be written; updates come from the package manager");
        });
    }
    return managed;
}

// ---- the check ---------------------------------------------------------------------------

void CUpdateService::StartCheck() {
    m_checkThread.reset();
    m_state = kChecking;
    m_checkThread = std::make_unique<CUpdateCheckThread>(*this);
    m_checkThread->Start();
}

void CUpdateService::RunCheck() {
    const SCheckResult r = CheckNow();
    m_state = r.offered ? kNewer : kNothing;
}

SCheckResult CUpdateService::CheckNow(int connectLimitMs) {
    SCheckResult r;
    {
        std::lock_guard lock(m_mutex);
        m_client.SetServer(m_server, m_port);
    }
    r.packageManaged = PackageManaged();
    r.result = connectLimitMs < 0 ? m_client.Connect() : m_client.ConnectWithin(connectLimitMs);
    if (r.result != kQrOk) {
        SetError(Format("check: no connection to %s (%d %s)", m_client.ServerName().c_str(),
                        r.result, QueryResultText(r.result, m_language)));
        return r;
    }
    SFileDescription d;
    r.result = m_client.Describe(m_fileName, d);
    if (r.result != kQrOk) {
        m_client.Log(Utf8ToCp1251(Format("Check version: error=%d.", r.result)));
        m_client.Disconnect();
        SetError(Format("check: %s not described (%d %s)", m_fileName.c_str(), r.result,
                        QueryResultText(r.result, m_language)));
        return r;
    }
    m_client.Log(Format("Check version: Current=%2.2d.%2.2d Server=%2.2d.%2.2d", m_config.major,
                        m_config.minor, d.entry.major, d.entry.minor));
    m_client.Disconnect();
    r.described = true;
    r.serverMajor = d.entry.major;
    r.serverMinor = d.entry.minor;
    r.newer = m_config.major * 256 + m_config.minor < d.entry.Version();
    r.offered = r.newer && !r.packageManaged;
    return r;
}

// ---- the offer ---------------------------------------------------------------------------

int CUpdateService::PrepareOffer(SUpdateOffer& offer) {
    m_offerOpen = false;
    m_cancel = false;
    m_refusal = EUpdateRefusal::kNone;
    m_client.ClearInterrupt();
    DiscardDownload();
    if (PackageManaged()) return 0;
    std::string server;
    {
        std::lock_guard lock(m_mutex);
        server = m_server;
        m_client.SetServer(m_server, m_port);
    }
    const int connected = m_client.ConnectWithin(CQueryClient::kConnectWithinMs);
    if (connected != kQrOk) {
        SetError(Format("offer: no connection to %s (%d)", server.c_str(), connected));
        m_client.Disconnect();
        return -1;
    }
    const int rc = m_client.Describe(m_fileName, m_offered);
    if (rc != kQrOk) {
        SetError(Format("offer: %s not described (%d %s)", m_fileName.c_str(), rc,
                        QueryResultText(rc, m_language)));
        m_client.Disconnect();
        return -1;
    }
    const int serverMajor = m_offered.entry.major;
    const int serverMinor = m_offered.entry.minor;
    if (m_config.major * 256 + m_config.minor >= m_offered.entry.Version()) {
        m_client.Disconnect();
        return 0;
    }
    m_client.Log(Utf8ToCp1251(Format("Новая версия %s доступна (%2.2d.%2.2d)! Текущая версия: %s",
                                     m_fileName.c_str(), serverMajor, serverMinor,
                                     VersionText().c_str())));
    offer.server = server;
    offer.serverMajor = serverMajor;
    offer.serverMinor = serverMinor;
    offer.currentMajor = m_config.major;
    offer.currentMinor = m_config.minor;
    offer.backupName = Versioned(m_config.major, m_config.minor);
    if (m_language == Language::English) {
        offer.title = "Version update";
        offer.question =
            Format("The server '%s' has", server.c_str()) + "\r\n" +
            Format("a new version of the program, %2.2d.%2.2d.", serverMajor, serverMinor) +
            "\r\n" + Format("The current version %2.2d.%2.2d", m_config.major, m_config.minor) +
            "\r\n" + "will be kept under the name:" + "\r\n" + offer.backupName + "\r\n" +
            "Update the current version?";
    } else {
        offer.title = "Обновление версии";
        offer.question = Format("На сервере '%s' доступна", server.c_str()) + "\r\n" +
                         Format("новая версия программы %2.2d.%2.2d", serverMajor, serverMinor) +
                         "\r\n" +
                         Format("Текущая версия %2.2d.%2.2d", m_config.major, m_config.minor) +
                         "\r\n" + "будет сохранена под именем:" + "\r\n" + offer.backupName +
                         "\r\n" + "Обновить текущую версию?";
    }
    // Not kept across the question: the server would let it go while the operator thinks, and
    // it would hold one of the server's places for nothing. The download connects anew.
    m_client.Disconnect();
    m_offerOpen = true;
    return 1;
}

void CUpdateService::DeclineOffer() {
    m_offerOpen = false;
    if (m_client.IsConnected()) m_client.Disconnect();
}

int CUpdateService::OfferUpdate(const std::function<bool(const SUpdateOffer&)>& ask) {
    SUpdateOffer offer;
    const int prepared = PrepareOffer(offer);
    if (prepared != 1) return prepared;
    if (ask && !ask(offer)) {
        DeclineOffer();
        return -1;
    }
    return AcceptOffer();
}

// ---- the hand-off at start-up ------------------------------------------------------------

int CUpdateService::HandOff(const std::vector<std::string>& args) {
    m_commandLine = args;
    int result = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "/update1" && args[i] != "/update2") continue;
        const std::string name = i + 1 < args.size() ? args[i + 1] : std::string();
        if (m_config.settingsFile.empty()) m_config.settingsFile = HandOffSettingsFile(args);
        result = args[i] == "/update1" ? HandOffReplace(name) : HandOffFinish(name);
        break;
    }
    if (result == 0 || result == 2) {
        if (const int removed = RemoveStalePartFiles(); removed > 0) {
            Trace(
                Format("update: removed %d partial download(s) left beside the program by a "
                       "process that ended",
                       removed));
        }
    }
    return result;
}

int CUpdateService::RemoveStalePartFiles() const {
    return dravmer::RemoveStalePartFiles(Folder(), m_executable.filename().string());
}

void CUpdateService::UseSettings(ISettingsStore* settings, const std::string& file) {
    m_config.settings = settings;
    m_config.settingsFile = file;
}

std::vector<std::string> CUpdateService::HandOffArgs(const std::string& step,
                                                     const std::string& name) const {
    std::vector<std::string> args = {step, name};
    if (!m_config.settingsFile.empty()) {
        std::error_code ec;
        const fs::path absolute = fs::absolute(m_config.settingsFile, ec);
        args.push_back("--config");
        args.push_back(ec ? m_config.settingsFile : absolute.string());
    }
    return args;
}

bool CUpdateService::Replace(const fs::path& from, const fs::path& to) const {
    return m_config.replaceFile ? m_config.replaceFile(from, to) : ReplaceFileAtomically(from, to);
}

void CUpdateService::WaitForOldProcess() const {
    const char* value = std::getenv(kPidVariable);
    if (!value) return;
    const pid_t old = static_cast<pid_t>(std::atol(value));
    // The old program started this one; once it has ended this process has another parent.
    for (int i = 0; i < m_config.handOffRetries && old > 0 && ::getppid() == old; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
    }
}

void CUpdateService::RunOldProgram(const fs::path& program) {
    const std::string stored =
        m_config.settings ? m_config.settings->GetString(kSection, kCmdLine, "") : std::string();
    if (StartProgram(program, SplitCommandLine(stored)) < 0) {
        Trace("update: cannot start " + program.string());
    }
}

int CUpdateService::HandOffReplace(const std::string& oldName) {
    // Only a program beside this one, never a path the command line makes up.
    if (!IsPlainFileName(oldName) || oldName == m_executable.filename().string()) return -1;
    const fs::path old = Folder() / oldName;
    std::error_code ec;
    if (!fs::is_regular_file(old, ec)) return -1;
    WaitForOldProcess();
    if (!Replace(m_executable, old)) {
        // The old program was never touched: it runs on as it was.
        SetError("hand-off: cannot put " + m_executable.string() + " in place of " + old.string());
        RunOldProgram(old);
        return -1;
    }
    if (StartProgram(old, HandOffArgs("/update2", m_executable.filename().string())) >= 0) return 1;
    SetError("hand-off: cannot start " + old.string());
    const std::string backup =
        m_config.settings ? m_config.settings->GetString(kSection, kBackup, "") : std::string();
    if (!backup.empty() && Replace(backup, old)) RunOldProgram(old);
    return -1;
}

int CUpdateService::HandOffFinish(const std::string& downloadName) {
    if (m_config.settings) {
        m_commandLine = SplitCommandLine(m_config.settings->GetString(kSection, kCmdLine, ""));
    } else {
        m_commandLine.clear();
    }
    // The new version is in place by now: a versioned download that is missing or stays is
    // noted, and the program runs.
    if (!IsPlainFileName(downloadName) || downloadName == m_executable.filename().string()) {
        Trace("update: hand-off named no download to delete");
        return 2;
    }
    const fs::path download = Folder() / downloadName;
    for (int i = 0; i <= m_config.handOffRetries; ++i) {
        if (::unlink(download.c_str()) == 0 || errno == ENOENT) return 2;
        std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
    }
    Trace("update: cannot delete " + download.string());
    return 2;
}

}  // namespace dravmer
