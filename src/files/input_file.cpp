#include "files/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dravmer {

std::string FileFailureText(FileFailure failure, int error, const std::string& path,
                            Language language) {
    const bool en = language == Language::English;
    const std::string why = error ? std::string(": ") + std::strerror(error) : std::string();
    // Without a path the text follows "PATH: " that the caller has written.
    const bool bare = path.empty();
    switch (failure) {
        case FileFailure::None: return {};
        case FileFailure::CannotOpen:
            if (bare) return (en ? "cannot be opened" : "не открывается") + why;
            return (en ? "cannot open " : "не удалось открыть ") + path + why;
        case FileFailure::Folder:
            return (bare ? "" : path + (en ? " is " : " — ")) +
                   (en ? "a folder, not a file" : "папка, а не файл");
        case FileFailure::NotAFile:
            return (bare ? "" : path + (en ? " is " : " — ")) +
                   (en ? "not a regular file (a pipe, socket or device); only files are read"
                       : "не обычный файл (канал, сокет или устройство); читаются только "
                         "файлы");
        case FileFailure::ReadFailed:
            if (bare) return (en ? "cannot be read" : "не читается") + why;
            return (en ? "cannot read " : "ошибка чтения ") + path + why;
    }
    return {};
}

CInputFile::~CInputFile() { Close(); }

bool CInputFile::Open(const std::string& path) {
    Close();
    m_failure = FileFailure::None;
    m_errno = 0;
    // Non-blocking, so that opening a FIFO with no writer returns at once; the mode is checked
    // before anything is read, then reads block as usual.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        m_errno = errno;
        m_failure = m_errno == EISDIR ? FileFailure::Folder : FileFailure::CannotOpen;
        if (m_failure == FileFailure::Folder) m_errno = 0;
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        m_errno = errno;
        m_failure = FileFailure::CannotOpen;
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        m_failure = S_ISDIR(st.st_mode) ? FileFailure::Folder : FileFailure::NotAFile;
        ::close(fd);
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        m_errno = errno;
        m_failure = FileFailure::CannotOpen;
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

long long CInputFile::Read(void* buffer, std::size_t n) {
    if (m_fd < 0) return -1;
    auto* p = static_cast<char*>(buffer);
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(m_fd, p + got, n - got);
        if (r < 0) {
            if (errno == EINTR) continue;
            m_errno = errno;
            m_failure = FileFailure::ReadFailed;
            return -1;
        }
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    return static_cast<long long>(got);
}

bool CInputFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t n) {
    return Seek(offset) && Read(buffer, n) == static_cast<long long>(n);
}

bool CInputFile::Seek(std::uint64_t offset) {
    if (m_fd < 0) return false;
    if (::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        m_errno = errno;
        m_failure = FileFailure::ReadFailed;
        return false;
    }
    return true;
}

void CInputFile::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_size = 0;
}

}  // namespace dravmer
