// Saving the records an experiment file could not take, so that a full disk or a folder that
// cannot be written never costs the records still held in memory.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "files/experiment_files.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace dravmer {

void CExperimentFiles::RescueLocked() {
    m_rescuedPath.clear();
    m_unsaved = 0;
    const int count = m_store.GetCount();
    if (!m_options.writeToFile || count == 0 || m_written >= count || m_name.empty()) return;
    m_unsaved = count - m_written;
    std::string folder = m_rescueFolder.empty() ? (DataDir() / "recovered").string() : m_rescueFolder;
    if (folder.back() != '/') folder += '/';
    if (!EnsureDir(folder)) return;
    // The whole experiment goes into one file that loads on its own; an older rescue of the
    // same name is kept and this one gets a numbered name beside it.
    int fd = -1;
    std::string path;
    for (int n = 0; n < 100 && fd < 0; ++n) {
        const fs::path name(m_name);
        path = folder + (n == 0 ? m_name
                                : name.stem().string() + "." + std::to_string(n) +
                                      name.extension().string());
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) return;
    }
    if (fd < 0) return;
    const std::vector<int> columns = m_headerWritten ? m_columns : m_options.Columns();
    int done = 0;
    const bool ok = WriteRecords(fd, 0, true, columns, done) && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok) {
        ::unlink(path.c_str());
        return;
    }
    m_rescuedPath = path;
    m_unsaved = 0;
}

}  // namespace dravmer
