// The store's full blocks: their summaries and their way to the page file.
#include <cstring>
#include <memory>

#include "measure/device_data.h"
#include "measure/record_pages.h"
#include "platform/page_file.h"

namespace dravmer {

static_assert(CDeviceData::kPageBytes == pages::kBlockBytes);
static_assert(CDeviceData::kPageRecords == pages::kRecords);

namespace {
// One block laid out by column, per appending thread (a poll thread or a loader).
unsigned char* ScratchBlock() {
    static thread_local std::unique_ptr<unsigned char[]> block(
        new unsigned char[pages::kBlockBytes]);
    return block.get();
}
}  // namespace

void CDeviceData::SetPageFile(std::shared_ptr<CPageFile> file) {
    std::unique_lock lock(m_arrayLock);
    m_nextPageFile = file;
    if (m_count.load(std::memory_order_relaxed) == 0) m_pageFile = std::move(file);
}

void CDeviceData::KeepRecords(bool keep) {
    std::unique_lock lock(m_arrayLock);
    m_nextKeepRecords = keep;
    if (m_count.load(std::memory_order_relaxed) == 0) m_keepRecords = keep;
}

bool CDeviceData::KeepsRecords() const {
    std::shared_lock lock(m_arrayLock);
    return m_keepRecords;
}

int CDeviceData::PagedCount() const {
    std::shared_lock lock(m_arrayLock);
    return m_pagedCount;
}

std::size_t CDeviceData::SummaryBytes() const {
    std::shared_lock lock(m_arrayLock);
    return m_blockSums.capacity() * sizeof(pages::SBlockSum);
}

// Only the appending thread changes the records, the block table and the summaries, so it reads
// them here without the lock; it takes the lock to publish what it changed.
void CDeviceData::FinishBlocks() {
    bool writeFailed = false;
    for (;;) {
        const int count = m_count.load(std::memory_order_relaxed);
        const auto summarised = static_cast<int>(m_blockSums.size());
        // The oldest block still in memory goes to the file first, so that the records in
        // memory stay one run.
        const bool page =
            m_pageFile && m_keepRecords && !writeFailed && m_pagedCount + kPageRecords <= count;
        const bool summarise =
            m_keepRecords && count >= kWalkAll && (summarised + 1) * kPageRecords <= count;
        if (!page && !summarise) return;
        pages::SBlockSum sum;
        if (summarise && summarised * kPageRecords < m_pagedCount) {
            // A block the file took before the store grew long enough to need summaries.
            pages::Summarize(m_pageFile->Data(m_slots[static_cast<std::size_t>(summarised)]), sum);
            std::unique_lock lock(m_arrayLock);
            m_blockSums.push_back(sum);
            continue;
        }
        const int block = page ? m_pagedCount / kPageRecords : summarised;
        unsigned char* columns = ScratchBlock();
        pages::Encode(&m_records[static_cast<std::size_t>(block * kPageRecords - m_pagedCount)],
                      columns);
        const bool addSum = summarise && block == summarised;
        if (addSum) pages::Summarize(columns, sum);
        std::int64_t slot = -1;
        if (page) {
            slot = m_pageFile->Write(columns);
            writeFailed = slot < 0;
        }
        std::unique_lock lock(m_arrayLock);
        if (addSum) m_blockSums.push_back(sum);
        if (slot >= 0) {
            m_slots.push_back(slot);
            m_pagedCount += kPageRecords;
            const int left = count - m_pagedCount;
            if (left > 0)
                std::memmove(static_cast<void*>(m_records.get()), &m_records[kPageRecords],
                             static_cast<std::size_t>(left) * sizeof(CMeasRecord));
        }
    }
}

}  // namespace dravmer
