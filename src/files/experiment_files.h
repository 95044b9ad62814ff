#pragma once
// The experiment files of one store: naming, dated folders, the label file, and the writer that
// follows the store's appends. It attaches itself to the store as its sample sink, so every
// record reaches the file in the poll that produced it.
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "files/file_format.h"
#include "measure/device_data.h"

namespace dravmer {

// OpenExperimentFiles results.
inline constexpr int kFilesOpenOk = 0;
inline constexpr int kFilesCannotCreate = -1;
inline constexpr int kFilesAlreadyWritten = -2;
// A file of that name already holds data; it is left as it is and nothing is opened.
inline constexpr int kFilesNameTaken = -3;

// Experiment numbers in file names have three digits.
inline constexpr int kMaxFileExperimentNumber = 999;

// Names built from a local date and time.
std::string DateText(std::time_t t);        // "%y%m%d"
std::string DatedSubfolder(std::time_t t);  // "%y%m - Файлы ADC/%y%m%d"
std::string StoreTitle(const std::string& date, int experiment, std::uint32_t address);
std::string ExperimentFileName(const std::string& date, int experiment, std::uint32_t address,
                               bool text);
std::string LabelFileName(const std::string& date, int experiment);  // "...-label .txt"
// The folder part of the save path: the path itself when it ends with '/' or names a folder,
// otherwise its parent. Ends with '/'.
std::string SaveFolderOf(const std::string& savePath);
// The first experiment number from `number` on for which no file named "date-NNN-*" exists in
// the folder the files of that day go to. The acquisition start calls it so that a lost
// counter never points a new experiment at an old one's files.
int FindFreeExperimentNumber(const std::string& savePath, bool dateFolders, int number,
                             std::time_t now);
// The comment dialog's text without its leading "{Date}  -  Experiment: {Experiment}" template
// and the blanks after it.
std::string LabelTextFromComment(const std::string& comment);
// The label file of the experiment an experiment file belongs to: beside it, named by the first
// 11 characters of its name ("261206-007-") and "label .txt". Empty when the file's name is not
// an experiment file's.
std::string LabelPathBeside(const std::string& experimentFile);
// Creates (or empties) a label file and writes the text (UTF-8, stored as Windows-1251) without a
// line end. 0 written; otherwise the errno of the failure.
int WriteLabelFile(const std::string& path, const std::string& text);
// A label file's text (at most its first 1024 bytes, as UTF-8); empty when there is none.
std::string ReadLabelText(const std::string& path);

class CExperimentFiles : public ISampleSink {
public:
    explicit CExperimentFiles(CDeviceData& store, const SFileOptions& options = SFileOptions());
    ~CExperimentFiles() override;
    CExperimentFiles(const CExperimentFiles&) = delete;
    CExperimentFiles& operator=(const CExperimentFiles&) = delete;

    CDeviceData& Store() { return m_store; }
    // Columns, decimals, Ky and the write-to-file switch. The columns of an open file stay as
    // its header recorded them.
    void SetOptions(const SFileOptions& options);
    SFileOptions Options() const;

    // Opens the store's experiment file (see the results above). savePath is the save folder;
    // when it cannot be created the user's data folder is used and written back into it.
    int OpenExperimentFiles(std::string& savePath, std::uint32_t address, int experimentNumber,
                            bool textFormat, bool dateFolders, bool acquisitionRunning);
    void CloseExperimentFiles();
    // The store now holds another experiment (a load, another device): the names of the last
    // one's files go, so that nothing (a comment above all) is written to them any more.
    void ForgetExperiment();
    // Creates (or empties) the label file and writes the text (UTF-8, stored as Windows-1251)
    // without a line end. 0 written or nothing to do, -1 when the file cannot be written.
    int WriteLabel(const std::string& text);
    // Writes the records not written yet (the header first). Records written; -1 on a write
    // error (the error is counted and the next call tries again with the rest).
    int WriteNewSamples();
    // Writes everything recorded so far with the store's own writes held off meanwhile.
    int FlushSamples();
    // Writing switched off during an acquisition: what is recorded so far is written, then the
    // open file takes nothing more until ResumeWriting.
    void PauseWriting(const SFileOptions& options);
    // Writing switched on again during the same acquisition: the paused file goes on with the
    // records from now on, so the pause shows as a gap of seconds; it is appended to, never
    // truncated. False when no paused file is open (the caller opens one).
    bool ResumeWriting(const SFileOptions& options);

    bool IsOpen() const;
    std::string FilePath() const;
    std::string LabelPath() const;
    int ExperimentNumber() const;
    int WrittenCount() const;
    bool TextFormat() const;
    int WriteErrors() const;

    // Records that could still not be written when the file was last closed (a full disk, a
    // folder that cannot be written) are saved whole to a file of the same name in the rescue
    // folder: its path, empty when nothing needed saving. UnsavedRecords counts what could be
    // saved nowhere.
    std::string RescuedPath() const;
    int UnsavedRecords() const;
    // Where records go that cannot be written where asked; the user's data folder's
    // "recovered" folder unless a test points elsewhere.
    void SetRescueFolder(std::string folder);

    // Tests fix the clock that names files.
    void SetClock(std::function<std::time_t()> now) { m_now = std::move(now); }

    void OnSamplesAdded(CDeviceData& store) override;

private:
    int WriteLocked();
    // Writes records [from, count) to fd, the header first when `header`; on success sets
    // `done` to the record count written through. A failed write is undone to the last boundary.
    bool WriteRecords(int fd, int from, bool header, const std::vector<int>& columns, int& done);
    void RescueLocked();

    CDeviceData& m_store;
    mutable std::mutex m_mutex;
    SFileOptions m_options;
    std::vector<int> m_columns;  // frozen when the header is written
    int m_fd = -1;
    std::string m_path, m_labelPath;
    int m_experimentNumber = 0;
    int m_written = 0;  // records [0, m_written) are in the file or were left out by a pause
    bool m_headerWritten = false;
    int m_pausedAt = -1;  // the record count when writing was paused, -1 when not paused
    int m_writeErrors = 0;
    bool m_text = true;
    // Set when an open for writing was asked during an acquisition, cleared at close.
    bool m_wanted = false;
    std::string m_name;  // the file name asked for, even when it could not be opened
    std::string m_rescueFolder, m_rescuedPath;
    int m_unsaved = 0;
    std::function<std::time_t()> m_now;
};

}  // namespace dravmer
