#pragma once
// Archiving what a bench holds: the window's command "Сохранить эксперимент в БД", archiving
// every experiment when it stops, and the CLI. The archive itself knows nothing of the bench.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_io.h"
#include "platform/language.h"

namespace dravmer {

class CBench;
class CDeviceData;
class CExperimentSettings;

// Ky, poll period and file decimals of the experiment settings, for what files do not say.
SArchiveDefaults ArchiveDefaultsFrom(const CExperimentSettings& settings);

// Builds the experiment from the bench's current stores (a stopped or a loaded experiment) and
// archives it into the archive at url. Blocking: run it on a worker thread. progress gets
// (done, total) steps (reading the stores, then writing the devices); returning false, or
// raising *stop, ends it with kArchiveStopped and nothing written. Refused while the
// experiment runs (kArchiveBusy) and when no store holds records (kArchiveNoData). id: the
// experiment's id (also for kArchiveDuplicate); message: one line for the operator, in `language`
// (the archive's own reasons as it gives them).
int ArchiveBenchExperiment(CBench& bench, const std::string& url, std::int64_t& id,
                           std::string& message, const ArchiveProgressFn& progress = nullptr,
                           const std::atomic<bool>* stop = nullptr,
                           Language language = Language::English);
// The experiment of the bench's stores without writing it (the CLI and tests use it).
int ExperimentFromBench(CBench& bench, SArchivedExperiment& e, std::string& error,
                        const ArchiveProgressFn& progress = nullptr,
                        const std::atomic<bool>* stop = nullptr);

// Fills the stores PrepareLoad returned (for the experiment's device addresses, in order) with
// the experiment's devices, store i with device i, and ends the load. Blocking: run it on a
// worker. progress gets (done, total) devices; returning false, or raising *stop, ends it after
// that device and the stores keep what they got, as a cancelled load of files does. Returns the
// number of stores filled. The experiment is as CArchive::Describe gave it: each device's records
// are read from the archive when its store's turn comes, so no more than one device's are held
// at a time. A device whose records cannot be read leaves its store empty.
int LoadArchivedPrepared(CBench& bench, CArchive& archive, const SArchivedExperiment& e,
                         const std::vector<CDeviceData*>& stores,
                         const ArchiveProgressFn& progress = nullptr,
                         const std::atomic<bool>* stop = nullptr);

}  // namespace dravmer
