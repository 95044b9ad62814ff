#pragma once
// A file server in miniature on loopback, for what the real one never does: a release described
// without a SHA-256 or with a size it does not have, and a download that stalls after some
// chunks until the test lets it go on. Serves its clients one after another on a thread of its
// own, each request answered as the real server would.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/tcp_listen.h"
#include "update/query_record.h"
#include "update/sha256.h"
#include "update/test_server.h"

namespace dravmer::test {

class CReleaseFake {
public:
    struct SFile {
        std::vector<std::uint8_t> bytes;
        int major = 0, minor = 0;
        bool publishSha = true;
        long long describedSize = -1;  // the size told in the description; the real one when < 0
        std::string publishedSha;      // the SHA-256 told; the bytes' own when empty
    };

    CReleaseFake() {
        std::string error;
        m_listen = ListenTcp("127.0.0.1", m_port, error);
        m_thread = std::thread([this] { Run(); });
    }
    ~CReleaseFake() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
            m_cv.notify_all();
        }
        m_thread.join();
        ::close(m_listen);
    }
    int Port() const { return m_port; }

    void Add(const std::string& name, SFile file) {
        // Hashed here, not while a client waits for the description.
        const std::string sha = file.publishedSha.empty()
                                    ? Sha256Hex(file.bytes.data(), file.bytes.size())
                                    : file.publishedSha;
        std::lock_guard lock(m_mutex);
        m_files[name] = std::move(file);
        m_digests[name] = sha;
    }
    // Chunk requests after the first n wait until Resume (or until the client goes away).
    void PauseAfterChunks(int n) {
        std::lock_guard lock(m_mutex);
        m_pauseAfter = n;
    }
    void Resume() {
        std::lock_guard lock(m_mutex);
        m_pauseAfter = -1;
        m_cv.notify_all();
    }
    int ChunksSent() const { return m_chunksSent.load(); }
    bool Paused() const { return m_paused.load(); }
    std::vector<std::string> Requests() {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

private:
    void Run() {
        for (;;) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                const int client = ::accept(m_listen, nullptr, nullptr);
                if (client >= 0) {
                    Serve(client);
                    ::close(client);
                }
            }
            std::lock_guard lock(m_mutex);
            if (m_stop) return;
        }
    }

    bool Stopping() {
        std::lock_guard lock(m_mutex);
        return m_stop;
    }

    static bool ClientGone(int client) {
        pollfd p{client, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0) return false;
        char byte;
        return ::recv(client, &byte, 1, MSG_PEEK | MSG_DONTWAIT) <= 0;
    }

    void Serve(int client) {
        const SFile* open = nullptr;
        std::size_t at = 0;
        for (;;) {
            pollfd p{client, POLLIN, 0};
            const int n = ::poll(&p, 1, 50);
            if (Stopping()) return;
            if (n <= 0) continue;
            const std::vector<std::uint8_t> r = ReadRecord(client);
            if (r.empty()) return;
            const std::uint8_t command = r[kQueryCommandAt];
            const std::string text = RecordText(r.data(), static_cast<int>(r.size())).value_or("");
            {
                std::lock_guard lock(m_mutex);
                m_requests.push_back(std::to_string(command) + " " + text);
            }
            if (command == kQcDescribe) {
                std::lock_guard lock(m_mutex);
                const auto f = m_files.find(text);
                if (f == m_files.end()) {
                    open = nullptr;
                    SendBytes(client, BuildBareRecord(command, kQrFileOpen, {}));
                    continue;
                }
                open = &f->second;
                at = 0;
                SFileDescription d;
                d.entry.SetName(text);
                d.entry.major = static_cast<std::uint8_t>(open->major);
                d.entry.minor = static_cast<std::uint8_t>(open->minor);
                if (open->publishSha) d.entry.SetSha256(m_digests[text]);
                d.size = static_cast<std::int32_t>(open->describedSize >= 0 ? open->describedSize
                                                                            : open->bytes.size());
                std::uint8_t raw[kFileDescriptionSize];
                EncodeFileDescription(d, raw);
                SendBytes(client, BuildPayloadRecord(command, kQrOk, {}, raw, sizeof raw));
            } else if (command == kQcChunk) {
                if (!WaitForChunk(client)) return;
                if (!open) {
                    SendBytes(client, BuildChunkRecord(command, kQrFileNotOpen, nullptr, 0));
                    continue;
                }
                const std::size_t size =
                    std::min<std::size_t>(open->bytes.size() - at, kQueryMaxChunk);
                SendBytes(client, BuildChunkRecord(command, kQrOk, open->bytes.data() + at,
                                                   static_cast<int>(size)));
                at += size;
                ++m_chunksSent;
                if (size < static_cast<std::size_t>(kQueryMaxChunk)) open = nullptr;
            } else {
                SendBytes(client, BuildBareRecord(command, kQrOk, {}));
            }
        }
    }

    // False when the client went away or the fake stops while the chunk was held back.
    bool WaitForChunk(int client) {
        std::unique_lock lock(m_mutex);
        while (m_pauseAfter >= 0 && m_chunksSent >= m_pauseAfter) {
            m_paused = true;
            if (m_stop) return false;
            lock.unlock();
            const bool gone = ClientGone(client);
            lock.lock();
            if (gone) {
                m_paused = false;
                return false;
            }
            m_cv.wait_for(lock, std::chrono::milliseconds(20));
        }
        m_paused = false;
        return true;
    }

    int m_listen = -1;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_stop = false;
    std::map<std::string, SFile> m_files;
    std::map<std::string, std::string> m_digests;
    int m_pauseAfter = -1;
    std::atomic<int> m_chunksSent{0};
    std::atomic<bool> m_paused{false};
    std::vector<std::string> m_requests;
};

}  // namespace dravmer::test
