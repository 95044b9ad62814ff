// The offer's second half: the download of a release into a file beside the program, its
// checks (size, machine, SHA-256, the lab's signature, --version), and the start of the hand-off.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/cp1251.h"
#include "update/release_signature.h"
#include "update/self_update_files.h"
#include "update/sha256.h"
#include "update/update_service.h"
#include "update/update_text.h"

namespace dravmer {

namespace fs = std::filesystem;
using namespace update_text;

int CUpdateService::Refuse(EUpdateRefusal why, const std::string& text) {
    m_refusal = why;
    SetError("offer: " + text);
    m_client.Disconnect();
    return -1;
}

void CUpdateService::CancelDownload() {
    m_cancel = true;
    m_client.Interrupt();
}

int CUpdateService::ReconnectForDownload() {
    if (m_client.IsConnected()) return kQrOk;
    {
        std::lock_guard lock(m_mutex);
        m_client.SetServer(m_server, m_port);
    }
    const int rc = m_client.ConnectWithin(CQueryClient::kConnectWithinMs);
    return rc < 0 ? kQrReplyTimeout : rc;
}

int CUpdateService::DownloadOffer(const std::function<void(int)>& progress) {
    if (!m_offerOpen) return Refuse(EUpdateRefusal::kDownload, "no offer was prepared");
    m_offerOpen = false;
    if (m_cancel) return Refuse(EUpdateRefusal::kCancelled, "the download was cancelled");
    // The operator may have taken minutes over the question, and a server lets an idle client
    // go: the download has a connection of its own, and the release is described anew on it.
    const int offeredVersion = m_offered.entry.Version();
    if (const int rc = ReconnectForDownload(); rc != kQrOk) {
        return Refuse(EUpdateRefusal::kDownload, Format("no connection for the download (%d %s)",
                                                        rc, QueryResultText(rc, m_language)));
    }
    if (const int rc = m_client.Describe(m_fileName, m_offered); rc != kQrOk) {
        return Refuse(m_cancel ? EUpdateRefusal::kCancelled : EUpdateRefusal::kDownload,
                      Format("%s not described for the download (%d %s)", m_fileName.c_str(), rc,
                             QueryResultText(rc, m_language)));
    }
    if (m_offered.entry.Version() != offeredVersion) {
        return Refuse(EUpdateRefusal::kDownload,
                      Format("the server now offers %s %s instead of %s", m_fileName.c_str(),
                             VersionString(m_offered.entry.major, m_offered.entry.minor).c_str(),
                             VersionString(offeredVersion >> 8, offeredVersion & 0xff).c_str()));
    }
    const int serverMajor = m_offered.entry.major;
    const int serverMinor = m_offered.entry.minor;
    const long long size = m_offered.size;
    const fs::path target = Folder() / Versioned(serverMajor, serverMinor);
    if (size <= 0) {
        return Refuse(EUpdateRefusal::kDownload,
                      Format("%s is described with %lld bytes", m_fileName.c_str(), size));
    }
    if (size > kMaxReleaseBytes) {
        return Refuse(EUpdateRefusal::kTooLarge,
                      Format("%s is described with %lld bytes, more than the %lld a bench takes",
                             m_fileName.c_str(), size, kMaxReleaseBytes));
    }
    // A bench with the lab's key takes only what that key signed; one without a key at least
    // never installs a file that nothing vouches for.
    const std::string keyText = PublicKey();
    std::optional<ReleaseKey> key;
    if (!keyText.empty()) {
        key = ParseReleaseKey(keyText);
        if (!key || !ReleaseCryptoReady()) {
            return Refuse(EUpdateRefusal::kBadKey,
                          "the release key UpdateVersionSettings/PublicKey is not 64 hex digits");
        }
    }
    const std::optional<std::string> sha = m_offered.entry.Sha256();
    if (!key && !sha) {
        return Refuse(EUpdateRefusal::kNoChecksum, "the server published no SHA-256 of " +
                                                       m_fileName + " and no release key is set");
    }

    // The release goes straight to a file that nobody can run before it has passed every check.
    CPartFile part(target);
    if (!part.IsOpen()) {
        return Refuse(EUpdateRefusal::kWrite,
                      "cannot write " + part.PartPath().string() + ": " + std::strerror(errno));
    }
    CSha256 digest;
    CReleaseVerifier verifier(m_fileName, serverMajor, serverMinor);
    std::vector<std::uint8_t> head;
    int writeError = 0;
    long long arrived = 0;  // also when the download breaks off
    m_client.SetProgress(progress);
    const int got = m_client.Download(
        [&](const std::uint8_t* data, int n) {
            if (m_cancel) return false;
            const auto count = static_cast<std::size_t>(n);
            arrived += n;
            if (head.size() < 64) {
                head.insert(head.end(), data, data + std::min(count, 64 - head.size()));
            }
            digest.Add(data, count);
            if (key) verifier.Add(data, count);
            errno = 0;
            if (!part.Write(data, count)) {
                writeError = errno != 0 ? errno : EIO;
                return false;
            }
            return true;
        },
        m_offered.size);
    m_client.SetProgress(nullptr);
    if (m_cancel) return Refuse(EUpdateRefusal::kCancelled, "the download was cancelled");
    if (writeError != 0) {
        return Refuse(EUpdateRefusal::kWrite, "cannot write " + part.PartPath().string() + ": " +
                                                  std::strerror(writeError));
    }
    if (got != size) {
        // A transfer the server ended early reports no error of its own: the result 0 would
        // read "Успешное завершение." as the reason of a failure.
        const int result = m_client.LastResult();
        std::string why =
            Format("download of %s gave %lld of %lld bytes", m_fileName.c_str(), arrived, size);
        why += result != kQrOk ? Format(" (%d %s)", result, QueryResultText(result, m_language))
                               : std::string(" (the server ended the file early)");
        return Refuse(EUpdateRefusal::kDownload, why);
    }
    // Nothing replaces the running program unless it is a program for this machine, is the
    // file the lab published, and starts.
    if (!IsExecutableForThisMachine(head)) {
        return Refuse(EUpdateRefusal::kNotProgram,
                      "the download is not a program for this machine");
    }
    if (sha && *sha != digest.FinishHex()) {
        return Refuse(EUpdateRefusal::kChecksum,
                      "the download does not match the published SHA-256");
    }
    if (key) {
        if (const EUpdateRefusal why = FetchAndVerifySignature(verifier, *key);
            why != EUpdateRefusal::kNone) {
            return -1;
        }
    }
    m_client.Disconnect();
    if (!part.Commit(0755)) {
        return Refuse(EUpdateRefusal::kWrite, "cannot write " + target.string());
    }
    const std::string answer = ProgramVersionOutput(target, m_config.versionAnswerMs);
    if (answer.find(VersionString(serverMajor, serverMinor)) == std::string::npos) {
        ::unlink(target.c_str());
        return Refuse(EUpdateRefusal::kVersionAnswer, target.string() +
                                                          " --version did not answer " +
                                                          VersionString(serverMajor, serverMinor));
    }
    if (m_cancel) {
        ::unlink(target.c_str());
        return Refuse(EUpdateRefusal::kCancelled, "the download was cancelled");
    }
    m_downloaded = target;
    return 1;
}

EUpdateRefusal CUpdateService::FetchAndVerifySignature(CReleaseVerifier& verifier,
                                                       const ReleaseKey& key) {
    const std::string name = m_fileName + kReleaseSignature2Suffix;
    SFileDescription d;
    // A server may have let the connection go while the release was checked.
    int rc = ReconnectForDownload();
    if (rc == kQrOk) rc = m_client.Describe(name, d);
    if (rc != kQrOk) {
        Refuse(m_cancel ? EUpdateRefusal::kCancelled : EUpdateRefusal::kNoSignature,
               Format("no signature %s on the server (%d %s)", name.c_str(), rc,
                      QueryResultText(rc, m_language)));
        return m_refusal;
    }
    std::vector<std::uint8_t> bytes;
    if (d.size <= 0 || d.size > kReleaseSignatureMaxBytes) {
        Refuse(EUpdateRefusal::kBadSignature, Format("%s has %d bytes", name.c_str(), d.size));
        return EUpdateRefusal::kBadSignature;
    }
    if (m_client.Download(bytes, d.size) != d.size) {
        Refuse(m_cancel ? EUpdateRefusal::kCancelled : EUpdateRefusal::kNoSignature,
               Format("download of %s failed (%d %s)", name.c_str(), m_client.LastResult(),
                      QueryResultText(m_client.LastResult(), m_language)));
        return m_refusal;
    }
    const auto signature = ParseReleaseSignature2(std::string(bytes.begin(), bytes.end()));
    const int major = m_offered.entry.major, minor = m_offered.entry.minor;
    EUpdateRefusal why = EUpdateRefusal::kNone;
    std::string text;
    if (!signature) {
        why = EUpdateRefusal::kBadSignature;
        text = name + " is not a release signature";
    } else if (signature->major != major || signature->minor != minor) {
        // A release signed for one version and published as another: an older one replayed.
        why = EUpdateRefusal::kSignatureVersion;
        text = name + " signs version " + VersionString(signature->major, signature->minor) +
               ", the server offers " + VersionString(major, minor);
    } else if (signature->key != key) {
        why = EUpdateRefusal::kOtherKey;
        text = name + " was made with the key " +
               HexText(signature->key.data(), signature->key.size()) +
               ", not with this bench's release key";
    } else if (!verifier.Verify(*signature, key)) {
        why = EUpdateRefusal::kBadSignature;
        text = "the signature " + name + " does not match the download";
    }
    if (why != EUpdateRefusal::kNone) Refuse(why, text);
    return why;
}

int CUpdateService::StartHandOff() {
    if (m_downloaded.empty()) return Refuse(EUpdateRefusal::kHandOff, "no release was downloaded");
    const fs::path target = m_downloaded;
    m_downloaded.clear();
    auto fail = [&](const std::string& why) {
        ::unlink(target.c_str());
        return Refuse(EUpdateRefusal::kHandOff, why);
    };
    // The start of the hand-off: the command line and the backup for the later steps.
    const fs::path backup = Folder() / Versioned(m_config.major, m_config.minor);
    if (m_config.settings) {
        m_config.settings->SetString(kSection, kCmdLine, JoinCommandLine(m_commandLine));
        m_config.settings->SetString(kSection, kBackup, backup.string());
        m_config.settings->Flush();
    }
    if (!Replace(m_executable, backup)) {
        return fail("cannot keep the running version as " + backup.string());
    }
    const int pid = StartProgram(target, HandOffArgs("/update1", m_executable.filename().string()),
                                 {std::string(kPidVariable) + "=" + std::to_string(::getpid())});
    if (pid < 0) return fail("cannot start " + target.string());
    return 1;
}

void CUpdateService::LogHandOffStarted() {
    {
        std::lock_guard lock(m_mutex);
        m_client.SetServer(m_server, m_port);
    }
    m_client.ClearInterrupt();
    if (m_client.ConnectWithin(CQueryClient::kConnectWithinMs) == kQrOk) {
        m_client.Log(Utf8ToCp1251(Format("Запущено обновление %s v%s  на v%2.2d.%2.2d.",
                                         m_fileName.c_str(), VersionText().c_str(),
                                         m_offered.entry.major, m_offered.entry.minor)));
    }
    m_client.Disconnect();
}

void CUpdateService::DiscardDownload() {
    if (!m_downloaded.empty()) ::unlink(m_downloaded.c_str());
    m_downloaded.clear();
}

int CUpdateService::AcceptOffer(const std::function<void(int)>& progress) {
    if (DownloadOffer(progress) != 1) return -1;
    if (StartHandOff() != 1) return -1;
    LogHandOffStarted();
    return 1;
}

}  // namespace dravmer
