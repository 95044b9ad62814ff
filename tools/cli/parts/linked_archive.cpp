// The archive part linked in: the bench's experiment into the archive its settings name.
#include "archive/archive_io.h"
#include "bench/bench.h"
#include "bench/bench_archive.h"
#include "cli/cli_parts.h"

namespace dravmer::cli {

int ArchiveBenchOnStop(CBench& bench, std::int64_t& id, std::string& message,
                       Language language) {
    return ArchiveBenchExperiment(bench, ArchiveUrlFromSettings(bench.Store()), id, message,
                                  nullptr, nullptr, language);
}

}  // namespace dravmer::cli
