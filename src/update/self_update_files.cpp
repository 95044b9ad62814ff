#include "update/self_update_files.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>

#include "platform/paths.h"

extern char** environ;

namespace dravmer {

namespace fs = std::filesystem;

namespace {

fs::path TemporaryBeside(const fs::path& to) {
    return to.parent_path() / ("." + to.filename().string() + ".part-" + std::to_string(::getpid()));
}

// A temporary file opened for writing, locked for as long as it is open.
int OpenLockedPart(const fs::path& part) {
    const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) ::flock(fd, LOCK_EX | LOCK_NB);
    return fd;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Writes the temporary file with produce(fd), then renames it over to.
template <typename Produce>
bool WriteThenRename(const fs::path& to, mode_t mode, Produce produce) {
    const fs::path part = TemporaryBeside(to);
    const int fd = OpenLockedPart(part);
    if (fd < 0) return false;
    bool ok = produce(fd) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(part.c_str(), to.c_str()) == 0;
    if (!ok) ::unlink(part.c_str());
    return ok;
}

}  // namespace

bool ReplaceFileAtomically(const fs::path& from, const fs::path& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st {};
    if (::fstat(in, &st) != 0) {
        ::close(in);
        return false;
    }
    const bool ok = WriteThenRename(to, st.st_mode & 07777, [&](int out) {
        std::vector<std::uint8_t> block(64 * 1024);
        for (;;) {
            const ssize_t n = ::read(in, block.data(), block.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            if (n == 0) return true;
            if (!WriteAll(out, block.data(), static_cast<std::size_t>(n))) return false;
        }
    });
    ::close(in);
    return ok;
}

bool WriteExecutableAtomically(const fs::path& to, const std::vector<std::uint8_t>& bytes) {
    return WriteThenRename(to, 0755, [&](int out) { return WriteAll(out, bytes.data(), bytes.size()); });
}

CPartFile::CPartFile(fs::path to) : m_to(std::move(to)), m_part(TemporaryBeside(m_to)) {
    m_fd = OpenLockedPart(m_part);
}

CPartFile::~CPartFile() { Discard(); }

bool CPartFile::Write(const std::uint8_t* data, std::size_t size) {
    return m_fd >= 0 && WriteAll(m_fd, data, size);
}

bool CPartFile::Commit(unsigned mode) {
    if (m_fd < 0) return false;
    bool ok = ::fchmod(m_fd, static_cast<mode_t>(mode)) == 0 && ::fsync(m_fd) == 0;
    ok = (::close(m_fd) == 0) && ok;
    m_fd = -1;
    if (ok) ok = ::rename(m_part.c_str(), m_to.c_str()) == 0;
    if (!ok) ::unlink(m_part.c_str());
    m_part.clear();
    return ok;
}

void CPartFile::Discard() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_part.empty()) ::unlink(m_part.c_str());
    m_part.clear();
}

namespace {

// The PID a temporary file's name ends in (".NAME.part-PID"), or -1.
pid_t PartFilePid(const std::string& name, const std::string& program) {
    const std::string start = "." + program;
    const std::string mark = ".part-";
    if (name.rfind(start, 0) != 0) return -1;
    const std::size_t at = name.rfind(mark);
    if (at == std::string::npos || at < start.size()) return -1;
    // ".NAME.part-PID" (a copy over the program) or ".NAME_MM.mm.part-PID" (a download, a
    // kept version); not the files of another program whose name begins with this one's.
    if (at > start.size() && name[start.size()] != '_') return -1;
    const std::string digits = name.substr(at + mark.size());
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return -1;
    }
    return static_cast<pid_t>(std::stol(digits));
}

// Whether process pid runs a program that lies in folder (also one replaced since it started).
bool RunsFromFolder(pid_t pid, const fs::path& folder) {
    std::error_code ec;
    std::string exe = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec).string();
    if (ec) return false;
    const std::string deleted = " (deleted)";
    if (exe.size() > deleted.size() && exe.ends_with(deleted))
        exe.resize(exe.size() - deleted.size());
    return fs::path(exe).parent_path() == folder;
}

}  // namespace

int RemoveStalePartFiles(const fs::path& folder, const std::string& program) {
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(folder, ec);
    if (ec || ::access(real.c_str(), W_OK) != 0) return 0;  // nothing could have been left here
    int removed = 0;
    for (const auto& entry : fs::directory_iterator(real, ec)) {
        const std::string name = entry.path().filename().string();
        const pid_t pid = PartFilePid(name, program);
        if (pid <= 0 || !entry.is_regular_file(ec) || entry.is_symlink(ec)) continue;
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) continue;
        const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (free && !RunsFromFolder(pid, real) && ::unlink(entry.path().c_str()) == 0) ++removed;
        ::close(fd);
    }
    return removed;
}

namespace {

int Spawn(const fs::path& program, const std::vector<std::string>& args,
          const std::vector<std::string>& extraEnv, posix_spawn_file_actions_t* actions) {
    std::vector<std::string> argStore;
    argStore.push_back(program.string());
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStore;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const auto& x : extraEnv) {
            const auto eq = x.find('=');
            if (entry.compare(0, eq + 1, x, 0, eq + 1) == 0) replaced = true;
        }
        if (!replaced) envStore.push_back(entry);
    }
    envStore.insert(envStore.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), actions, nullptr, argv.data(), envp.data()) != 0) {
        return -1;
    }
    return pid;
}

}  // namespace

int StartProgram(const fs::path& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& extraEnv) {
    return Spawn(program, args, extraEnv, nullptr);
}

std::string ProgramVersionOutput(const fs::path& program, int timeoutMs) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // A window program asked for its version must not need a display.
    const int pid = Spawn(program, {"--version"}, {"QT_QPA_PLATFORM=offscreen"}, &actions);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (pid < 0) {
        ::close(pipeFds[0]);
        return {};
    }
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool timedOut = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd fd{pipeFds[0], POLLIN, 0};
        const int n = ::poll(&fd, 1, static_cast<int>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) continue;
        char buffer[512];
        const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        if (out.size() < 4096) out.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeFds[0]);
    if (timedOut) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    return out;
}

bool IsExecutableForThisMachine(const std::vector<std::uint8_t>& bytes) {
    constexpr std::size_t kHeader = 20;
    if (bytes.size() < 64) return false;
    std::uint8_t own[kHeader] = {};
    {
        std::ifstream self(ExecutablePath(), std::ios::binary);
        if (!self.read(reinterpret_cast<char*>(own), kHeader)) return false;
    }
    if (std::memcmp(bytes.data(), "\x7f" "ELF", 4) != 0) return false;
    // Class, byte order and ELF version, then the machine field.
    if (std::memcmp(bytes.data() + 4, own + 4, 3) != 0) return false;
    if (bytes[18] != own[18] || bytes[19] != own[19]) return false;
    const bool little = bytes[5] == 1;
    const int type = little ? bytes[16] | bytes[17] << 8 : bytes[17] | bytes[16] << 8;
    return type == 2 || type == 3;  // an executable or a position-independent one
}

std::string JoinCommandLine(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& a : args) {
        if (!text.empty()) text += ' ';
        text += '"';
        for (const char c : a) {
            if (c == '"' || c == '\\') text += '\\';
            text += c;
        }
        text += '"';
    }
    return text;
}

std::vector<std::string> SplitCommandLine(const std::string& text) {
    std::vector<std::string> args;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        if (i >= text.size()) break;
        std::string arg;
        if (text[i] == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size()) ++i;
                arg += text[i];
            }
            ++i;
        } else {
            while (i < text.size() && text[i] != ' ') arg += text[i++];
        }
        args.push_back(arg);
    }
    return args;
}

}  // namespace dravmer
