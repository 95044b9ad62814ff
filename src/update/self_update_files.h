#pragma once
// The file and process steps of a self-update: copying a program file without ever leaving its
// name missing, starting a program without waiting for it, asking a program for its version,
// and checking that a downloaded file is a program for this machine.
#include <filesystem>
#include <string>
#include <vector>

namespace dravmer {

// Copies from to a temporary file beside to (64 KiB blocks), gives it from's permission bits
// and renames it over to: to is either the old file or the complete new one. False on failure
// (to is then untouched and the temporary file removed).
bool ReplaceFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to);
// Writes bytes the same way, with mode 0755.
bool WriteExecutableAtomically(const std::filesystem::path& to, const std::vector<std::uint8_t>& bytes);

// A file written piece by piece into a temporary file beside its final name (mode 0600, so
// nothing can run it half-written or unchecked) and put in place by Commit. Removed when it is
// never committed. The temporary file ".NAME.part-PID" is locked (flock) while it is written,
// so that a start of the program can tell it from one that a killed process left.
class CPartFile {
public:
    explicit CPartFile(std::filesystem::path to);
    ~CPartFile();
    CPartFile(const CPartFile&) = delete;
    CPartFile& operator=(const CPartFile&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    const std::filesystem::path& PartPath() const { return m_part; }
    bool Write(const std::uint8_t* data, std::size_t size);
    // Syncs, gives the file mode and renames it over the final name.
    bool Commit(unsigned mode);
    // Closes and removes the temporary file.
    void Discard();

private:
    std::filesystem::path m_to, m_part;
    int m_fd = -1;
};

// Removes the temporary files ".PROGRAM*.part-PID" in folder that a process ended while writing
// them (a download or a copy cut short by a kill or a crash). A file is left alone while a
// process holds its lock, or while the process PID runs a program from folder (an older
// version that took no lock). The number removed.
int RemoveStalePartFiles(const std::filesystem::path& folder, const std::string& program);

// Starts program with args (argv[1..]) and does not wait; extraEnv entries "NAME=value" are
// added to the environment. The process id, or -1.
int StartProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& extraEnv = {});
// Runs "program --version" for at most timeoutMs and returns what it printed on its standard
// output; empty when it could not run, failed or did not end in time (it is then killed).
std::string ProgramVersionOutput(const std::filesystem::path& program, int timeoutMs);

// True when bytes are an ELF executable or shared object of the same class, byte order and
// machine as the running program.
bool IsExecutableForThisMachine(const std::vector<std::uint8_t>& bytes);

// The command line as one stored text and back: each argument in double quotes, with \" and
// \\ inside, separated by blanks.
std::string JoinCommandLine(const std::vector<std::string>& args);
std::vector<std::string> SplitCommandLine(const std::string& text);

}  // namespace dravmer
