#pragma once
// A file opened to be read as an experiment file or a label. Only a regular file is opened: a
// FIFO would block its reader for ever (the open is non-blocking for the check), a folder or a
// device reads as nonsense. Every read says whether it failed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/language.h"

namespace dravmer {

// Why a file could not be read at all.
enum class FileFailure {
    None,
    CannotOpen,  // missing, not permitted, ... (errno tells)
    Folder,      // a folder under a file's name
    NotAFile,    // a FIFO, a socket or a device under a file's name
    ReadFailed,  // a read returned an error (errno tells)
};

// The failure worded for the operator: "cannot open PATH: No such file or directory"; with an
// empty path the words that follow "PATH: " ("cannot be opened: No such file or directory").
std::string FileFailureText(FileFailure failure, int error, const std::string& path,
                            Language language);

class CInputFile {
public:
    CInputFile() = default;
    ~CInputFile();
    CInputFile(const CInputFile&) = delete;
    CInputFile& operator=(const CInputFile&) = delete;

    // Opens path for reading when it is a regular file; false otherwise (Failure and Errno
    // tell why).
    bool Open(const std::string& path);
    bool IsOpen() const { return m_fd >= 0; }
    // The size the file had when it was opened.
    std::uint64_t Size() const { return m_size; }
    // Reads up to n bytes from the current position, as many as there are: fewer only at the
    // end of the file. -1 on a read error (Failure is ReadFailed then).
    long long Read(void* buffer, std::size_t n);
    // Reads exactly n bytes at offset; false when the file holds fewer or a read fails.
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t n);
    bool Seek(std::uint64_t offset);
    void Close();

    FileFailure Failure() const { return m_failure; }
    int Errno() const { return m_errno; }
    std::string FailureText(const std::string& path, Language language) const {
        return FileFailureText(m_failure, m_errno, path, language);
    }

private:
    int m_fd = -1;
    std::uint64_t m_size = 0;
    FileFailure m_failure = FileFailure::None;
    int m_errno = 0;
};

}  // namespace dravmer
