// Loading the files of one experiment into their stores, a few files at a time.
#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "files/experiment_scan.h"

namespace dravmer {

namespace {
struct SNullListener : ILoadListener {
    void OnFileStarted(int, int, const std::string&) override {}
    void OnFileProgress(int, int) override {}
    void OnFileLoaded(int, int, const SLoadReport&) override {}
    void OnAllLoaded(bool) override {}
};

// Files read side by side: one per core, at most four (beyond that the disk and the record
// cache's writes set the pace).
int Readers(int files) {
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return std::max(1, std::min({files, cores, 4}));
}
}  // namespace

// Each file goes into its own store, so files are read side by side. The listener still hears
// of one file at a time, in order, as if they were read one after the other: a file's start and
// percentages once every file before it has ended (a file read ahead of its turn shows its last
// percentage then), its end after that. A cancel ends the files being read after their current
// block; the listener hears of files up to the first one cancelled, and a store whose file it
// does not hear of is left empty, as it would be had that file not been read.
int LoadGroup(const SGroupLoadData& group, const std::vector<CDeviceData*>& stores,
              ILoadListener* listener, const std::atomic<bool>* cancel) {
    SNullListener none;
    ILoadListener& l = listener ? *listener : none;
    const int count = static_cast<int>(std::min(group.paths.size(), stores.size()));
    struct SFile {
        bool begun = false, told = false, done = false;
        int percent = -1;
        int result = 0;
        SLoadReport report;
    };
    std::vector<SFile> files(static_cast<std::size_t>(count));
    std::mutex mutex;  // over `files`, `front`, `stopped`, `loaded` and every call of the listener
    int front = 0;     // the first file whose end the listener has not heard
    bool stopped = false;  // a file was cancelled: none after it is told
    int loaded = 0;
    std::atomic<int> next{0};
    std::atomic<bool> stop{false};

    // Under `mutex`: what the listener may hear now.
    auto tell = [&] {
        while (front < count && !stopped) {
            SFile& f = files[static_cast<std::size_t>(front)];
            if (!f.begun) return;
            if (!f.told) {
                f.told = true;
                l.OnFileStarted(front, count, group.paths[static_cast<std::size_t>(front)]);
                if (f.percent >= 0) l.OnFileProgress(front, f.percent);
            }
            if (!f.done) return;
            l.OnFileLoaded(front, f.result, f.report);
            loaded += f.result;
            stopped = f.report.cancelled;
            ++front;
        }
    };
    auto readFiles = [&] {
        for (;;) {
            if (stop.load()) return;
            const int i = next.fetch_add(1);
            if (i >= count) return;
            SFile& f = files[static_cast<std::size_t>(i)];
            {
                std::lock_guard lock(mutex);
                f.begun = true;
                tell();
            }
            auto progress = [&](int percent) {
                {
                    std::lock_guard lock(mutex);
                    f.percent = percent;
                    if (f.told && !stopped) l.OnFileProgress(i, percent);
                }
                return !(cancel && cancel->load());
            };
            SLoadReport report;
            const int result = LoadExperimentFile(*stores[static_cast<std::size_t>(i)],
                                                  group.paths[static_cast<std::size_t>(i)],
                                                  progress, &report);
            if (report.cancelled) stop = true;
            std::lock_guard lock(mutex);
            f.result = result;
            f.report = std::move(report);
            f.done = true;
            tell();
        }
    };
    std::exception_ptr failure;  // the first exception a reader met; raised again at the end
    auto read = [&] {
        try {
            readFiles();
        } catch (...) {
            stop = true;
            std::lock_guard lock(mutex);
            if (!failure) failure = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    for (int k = 1; k < Readers(count); ++k) {
        try {
            helpers.emplace_back(read);
        } catch (const std::system_error&) {
            break;  // no more threads to be had: fewer readers read the same files
        }
    }
    read();
    for (auto& t : helpers) t.join();
    if (failure) std::rethrow_exception(failure);
    // The files the listener did not hear of leave their stores as they were before.
    for (int i = front; i < count; ++i)
        if (files[static_cast<std::size_t>(i)].begun) stores[static_cast<std::size_t>(i)]->ResetData();
    l.OnAllLoaded(stopped);
    return loaded;
}

int CExperimentLoader::Run() {
    // LoadGroup polls an atomic; mirror the stop request into one between blocks.
    std::atomic<bool> cancel{false};
    struct SForward : ILoadListener {
        ILoadListener* inner;
        CExperimentLoader* self;
        std::atomic<bool>* cancel;
        void OnFileStarted(int i, int n, const std::string& p) override {
            if (inner) inner->OnFileStarted(i, n, p);
        }
        void OnFileProgress(int i, int pct) override {
            if (self->StopRequested()) cancel->store(true);
            if (inner) inner->OnFileProgress(i, pct);
        }
        void OnFileLoaded(int i, int r, const SLoadReport& rep) override {
            if (inner) inner->OnFileLoaded(i, r, rep);
        }
        void OnAllLoaded(bool c) override {
            if (inner) inner->OnAllLoaded(c);
        }
    } forward;
    forward.inner = m_listener;
    forward.self = this;
    forward.cancel = &cancel;
    m_loaded = LoadGroup(m_group, m_stores, &forward, &cancel);
    return 0;
}

}  // namespace dravmer
