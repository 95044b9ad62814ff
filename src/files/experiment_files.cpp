#include "files/experiment_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "files/input_file.h"
#include "platform/cp1251.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace dravmer {

namespace {
std::string Strftime(const char* format, std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[128];
    std::size_t n = std::strftime(buf, sizeof buf, format, &tm);
    return std::string(buf, n);
}

bool WriteAll(int fd, const std::string& data) {
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}
}  // namespace

std::string DateText(std::time_t t) { return Strftime("%y%m%d", t); }

std::string DatedSubfolder(std::time_t t) { return Strftime("%y%m - Файлы ADC/%y%m%d", t); }

std::string StoreTitle(const std::string& date, int experiment, std::uint32_t address) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s-%3.3d-%6.6u", date.c_str(), experiment, address);
    return buf;
}

std::string ExperimentFileName(const std::string& date, int experiment, std::uint32_t address,
                               bool text) {
    return StoreTitle(date, experiment, address) + (text ? ".txt" : ".adc");
}

std::string LabelFileName(const std::string& date, int experiment) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s-%3.3d-label .txt", date.c_str(), experiment);
    return buf;
}

std::string SaveFolderOf(const std::string& savePath) {
    if (savePath.empty()) return "";
    std::error_code ec;
    if (savePath.back() == '/' || fs::is_directory(savePath, ec)) {
        return savePath.back() == '/' ? savePath : savePath + "/";
    }
    std::string parent = fs::path(savePath).parent_path().string();
    return parent.empty() ? "" : parent + "/";
}

namespace {
std::string FolderFor(const std::string& savePath, bool dateFolders, std::time_t now) {
    std::string folder = SaveFolderOf(savePath);
    if (dateFolders && !folder.empty()) folder += DatedSubfolder(now) + "/";
    return folder;
}
}  // namespace

int FindFreeExperimentNumber(const std::string& savePath, bool dateFolders, int number,
                             std::time_t now) {
    std::string folder = FolderFor(savePath, dateFolders, now);
    std::string date = DateText(now);
    std::error_code ec;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder.empty() ? "." : folder, ec))
        names.push_back(e.path().filename().string());
    // Names hold three digits: the search goes round 1..999 once; when every number of the day
    // is taken the asked one is returned and its files, whose names are taken, are not opened.
    if (number < 1 || number > kMaxFileExperimentNumber) number = 1;
    for (int tried = 0; tried < kMaxFileExperimentNumber; ++tried) {
        const int candidate = (number - 1 + tried) % kMaxFileExperimentNumber + 1;
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "%s-%3.3d-", date.c_str(), candidate);
        bool used = false;
        for (const auto& n : names) used = used || n.rfind(prefix, 0) == 0;
        if (!used) return candidate;
    }
    return number;
}

std::string LabelTextFromComment(const std::string& comment) {
    static const std::string kTemplate = "{Date}  -  Experiment: {Experiment}";
    const auto pos = comment.find(kTemplate);
    if (pos == std::string::npos) return comment;
    // The template and the blanks after it go wherever it stands; what the operator typed
    // before it stays.
    std::size_t at = pos + kTemplate.size();
    while (at < comment.size() && comment[at] == ' ') ++at;
    return comment.substr(0, pos) + comment.substr(at);
}

std::string LabelPathBeside(const std::string& experimentFile) {
    const fs::path path(experimentFile);
    const std::string name = path.filename().string();
    if (name.size() < 11 || name[6] != '-' || name[10] != '-') return {};
    for (std::size_t i : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u})
        if (name[i] < '0' || name[i] > '9') return {};
    return (path.parent_path() / (name.substr(0, 11) + "label .txt")).string();
}

int WriteLabelFile(const std::string& path, const std::string& text) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return errno != 0 ? errno : EIO;
    const bool ok = WriteAll(fd, Utf8ToCp1251(text));
    const int writeError = ok ? 0 : (errno != 0 ? errno : EIO);
    if (::close(fd) != 0 && ok) return errno != 0 ? errno : EIO;
    return writeError;
}

std::string ReadLabelText(const std::string& path) {
    if (path.empty()) return {};
    CInputFile f;  // a FIFO under the label's name would block the list for ever
    if (!f.Open(path)) return {};
    char text[1024];
    const long long got = f.Read(text, sizeof text);
    if (got <= 0) return {};
    return Cp1251ToUtf8(std::string(text, static_cast<std::size_t>(got)));
}

CExperimentFiles::CExperimentFiles(CDeviceData& store, const SFileOptions& options)
    : m_store(store), m_options(options), m_now([] { return std::time(nullptr); }) {
    m_store.SetSampleSink(this);
}

CExperimentFiles::~CExperimentFiles() {
    m_store.SetSampleSink(nullptr);
    CloseExperimentFiles();
}

void CExperimentFiles::SetOptions(const SFileOptions& options) {
    std::lock_guard lock(m_mutex);
    m_options = options;
}

SFileOptions CExperimentFiles::Options() const {
    std::lock_guard lock(m_mutex);
    return m_options;
}

int CExperimentFiles::OpenExperimentFiles(std::string& savePath, std::uint32_t address,
                                          int experimentNumber, bool textFormat, bool dateFolders,
                                          bool acquisitionRunning) {
    std::lock_guard lock(m_mutex);
    m_store.SetFileName("");
    m_text = textFormat;
    const std::time_t now = m_now();
    std::string date = DateText(now);
    if (m_store.GetCount() == 0 && !acquisitionRunning) return kFilesOpenOk;
    if (m_store.IsWritten()) return kFilesAlreadyWritten;
    // Until this experiment's names are made (below, when writing to file) it has no label: a
    // comment must not go to the last experiment's.
    m_labelPath.clear();
    m_rescuedPath.clear();
    m_unsaved = 0;
    if (!m_options.writeToFile) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%s-%6.6u", Strftime("%y%m%d-%H:%M:%S", now).c_str(),
                      address);
        m_store.SetTitle(buf);
        return kFilesOpenOk;
    }
    std::string folder = FolderFor(savePath, dateFolders, now);
    if (m_store.IsLoadedFromFile()) {
        // A loaded experiment is written under its own date and number.
        std::string title = fs::path(m_store.LoadedPath()).stem().string();
        if (title.size() >= 10) {
            date = title.substr(0, 6);
            experimentNumber = std::atoi(title.substr(7, 3).c_str());
        }
    }
    m_wanted = true;
    m_name = ExperimentFileName(date, experimentNumber, address, textFormat);
    if (folder.empty() || !EnsureDir(folder)) {
        std::string fallback = DataDir().string();
        if (fallback.empty() || fallback.back() != '/') fallback += "/";
        savePath = fallback;
        folder = FolderFor(savePath, dateFolders, now);
        if (!EnsureDir(folder)) return kFilesCannotCreate;
    }
    m_experimentNumber = experimentNumber;
    const std::string& name = m_name;
    m_store.SetTitle(StoreTitle(date, experimentNumber, address));
    m_store.SetFileName(name);
    m_path = folder + name;
    m_labelPath = folder + LabelFileName(date, experimentNumber);

    // Never truncate: a new name or an existing empty file only.
    int fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) {
        struct stat st {};
        if (::stat(m_path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0)
            fd = ::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        else
            return kFilesNameTaken;
    }
    if (fd < 0) return kFilesCannotCreate;
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
    m_written = 0;
    m_headerWritten = false;
    m_pausedAt = -1;
    m_columns.clear();
    return kFilesOpenOk;
}

void CExperimentFiles::CloseExperimentFiles() {
    std::lock_guard lock(m_mutex);
    // Records a failed write left behind get one more chance before the file is closed, and
    // what still is not written is saved elsewhere rather than lost with the store.
    if (m_fd >= 0 && m_written < m_store.GetCount()) WriteLocked();
    if (m_wanted) RescueLocked();
    m_wanted = false;
    if (m_fd < 0) return;
    // A disk that was full from the first record on leaves an empty file whose records all went
    // to the rescue folder: it would only pose as the experiment, so it goes.
    struct stat open {
    }, named{};
    const bool emptyAndRescued = !m_rescuedPath.empty() && ::fstat(m_fd, &open) == 0 &&
                                 open.st_size == 0 && ::stat(m_path.c_str(), &named) == 0 &&
                                 named.st_ino == open.st_ino && named.st_dev == open.st_dev;
    m_written = 0;
    m_headerWritten = false;
    m_pausedAt = -1;
    ::close(m_fd);
    m_fd = -1;
    if (emptyAndRescued) ::unlink(m_path.c_str());
}

int CExperimentFiles::WriteLabel(const std::string& text) {
    std::lock_guard lock(m_mutex);
    if (!m_options.writeToFile || m_labelPath.empty()) return 0;
    return WriteLabelFile(m_labelPath, text) == 0 ? 0 : -1;
}

void CExperimentFiles::ForgetExperiment() {
    std::lock_guard lock(m_mutex);
    m_path.clear();
    m_labelPath.clear();
    m_name.clear();
}

int CExperimentFiles::WriteLocked() {
    if (!m_options.writeToFile || m_fd < 0) return 0;
    const int count = m_store.GetCount();
    if (m_written >= count) return 0;
    if (!m_headerWritten) m_columns = m_options.Columns();
    const int before = m_written;
    const bool ok = WriteRecords(m_fd, m_written, !m_headerWritten, m_columns, m_written);
    if (m_written > before) m_headerWritten = true;
    if (!ok) {
        ++m_writeErrors;
        return -1;
    }
    m_store.SetWritten();
    return m_written;
}

void CExperimentFiles::PauseWriting(const SFileOptions& options) {
    std::lock_guard lock(m_mutex);
    WriteLocked();
    m_options = options;
    m_options.writeToFile = false;
    if (m_fd >= 0) m_pausedAt = m_store.GetCount();
}

bool CExperimentFiles::ResumeWriting(const SFileOptions& options) {
    std::lock_guard lock(m_mutex);
    if (m_fd < 0 || m_pausedAt < 0) return false;
    m_options = options;
    m_options.writeToFile = true;
    // Records of the pause stay out, unless a failed write still holds earlier ones back: the
    // file then takes everything rather than lose what the operator wanted kept.
    if (m_written >= m_pausedAt) m_written = std::max(m_written, m_store.GetCount());
    m_pausedAt = -1;
    return true;
}

bool CExperimentFiles::WriteRecords(int fd, int from, bool header, const std::vector<int>& columns,
                                    int& done) {
    const int count = m_store.GetCount();
    std::string out;
    if (header) {
        CMeasRecord first = m_store.GetSample(0);
        out = m_text ? TxtHeader(first.kg, first.kr, m_options.ky, columns)
                     : AdcHeader(columns, m_store.FirmwareMajor(), m_store.FirmwareMinor(),
                                 m_store.StartTime());
    }
    CMeasRecord chunk[64];
    while (from < count) {
        int n = m_store.CopySamples(from, std::min(64, count - from), chunk);
        if (n <= 0) break;
        for (int k = 0; k < n; ++k) {
            if (m_text)
                AppendTxtRecord(out, chunk[k], columns, m_options.fileDecimals);
            else
                AppendAdcRecord(out, chunk[k], columns);
        }
        from += n;
        if (out.size() >= (1u << 20) || from >= count) {
            // A write cut short (disk full, file size limit) is undone, so the retry with the
            // same records starts on a record boundary instead of misaligning every record after.
            const off_t before = ::lseek(fd, 0, SEEK_END);
            if (!WriteAll(fd, out)) {
                if (before >= 0 && ::ftruncate(fd, before) == 0) ::lseek(fd, before, SEEK_SET);
                return false;
            }
            out.clear();
            done = from;
        }
    }
    return true;
}

int CExperimentFiles::WriteNewSamples() {
    std::lock_guard lock(m_mutex);
    return WriteLocked();
}

int CExperimentFiles::FlushSamples() {
    m_store.SetSuppressWrites(true);
    int result = 0;
    if (m_store.GetCount() > 0) result = WriteNewSamples();
    m_store.SetSuppressWrites(false);
    return result;
}

void CExperimentFiles::OnSamplesAdded(CDeviceData&) { WriteNewSamples(); }

bool CExperimentFiles::IsOpen() const {
    std::lock_guard lock(m_mutex);
    return m_fd >= 0;
}
std::string CExperimentFiles::FilePath() const {
    std::lock_guard lock(m_mutex);
    return m_path;
}
std::string CExperimentFiles::LabelPath() const {
    std::lock_guard lock(m_mutex);
    return m_labelPath;
}
int CExperimentFiles::ExperimentNumber() const {
    std::lock_guard lock(m_mutex);
    return m_experimentNumber;
}
int CExperimentFiles::WrittenCount() const {
    std::lock_guard lock(m_mutex);
    return m_written;
}
bool CExperimentFiles::TextFormat() const {
    std::lock_guard lock(m_mutex);
    return m_text;
}
std::string CExperimentFiles::RescuedPath() const {
    std::lock_guard lock(m_mutex);
    return m_rescuedPath;
}
int CExperimentFiles::UnsavedRecords() const {
    std::lock_guard lock(m_mutex);
    return m_unsaved;
}
void CExperimentFiles::SetRescueFolder(std::string folder) {
    std::lock_guard lock(m_mutex);
    m_rescueFolder = std::move(folder);
}
int CExperimentFiles::WriteErrors() const {
    std::lock_guard lock(m_mutex);
    return m_writeErrors;
}

}  // namespace dravmer
