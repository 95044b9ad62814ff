#include "link/link_stat.h"

#include <cstdio>

#include "link/frame.h"
#include "link/link_result.h"

namespace dravmer {

namespace {
constexpr std::size_t kRecordBytes = sizeof(std::uint32_t) * SLinkDevStat::kWordCount;
}

bool CLinkStatTable::GetDeviceStat(std::uint32_t address, SLinkDevStat& out) const {
    std::lock_guard lock(m_mutex);
    for (const auto& record : m_records) {
        if (record.w[SLinkDevStat::kDevice] == address) {
            out = record;
            return true;
        }
    }
    out = SLinkDevStat{};
    out.w[SLinkDevStat::kDevice] = address;
    return false;
}

std::vector<SLinkDevStat> CLinkStatTable::Records() const {
    std::lock_guard lock(m_mutex);
    return m_records;
}

std::size_t CLinkStatTable::Capacity() const {
    std::lock_guard lock(m_mutex);
    return m_capacityBytes / kRecordBytes;
}

void CLinkStatTable::Reset() {
    std::lock_guard lock(m_mutex);
    m_records.clear();
}

std::string CLinkStatTable::Dump() const {
    std::lock_guard lock(m_mutex);
    std::string text;
    char line[256];
    for (const auto& r : m_records) {
        if (r.w[SLinkDevStat::kCommands] == 0) continue;
        std::snprintf(line, sizeof line,
                      "Device: %u    \tCommands: %u   \tErrors: %u   \tErrorsWithRepeat: %u   "
                      "\tErrorsCode: ",
                      r.w[0], r.w[1], r.w[2], r.w[3]);
        text += line;
        for (int i = 0; i < kLinkResultCount; ++i) {
            std::snprintf(line, sizeof line, "%s: %u   \t", kLinkShortNames[i],
                          r.w[SLinkDevStat::kFirstErrorCode + i]);
            text += line;
        }
        text += "\r\n";
    }
    if (!m_records.empty()) text += std::string(117, '-') + "\r\n";
    return text;
}

SLinkDevStat* CLinkStatTable::Find(std::uint32_t address) {
    for (auto& record : m_records) {
        if (record.w[SLinkDevStat::kDevice] == address) return &record;
    }
    return nullptr;
}

SLinkDevStat* CLinkStatTable::FindOrCreate(std::uint32_t address) {
    if (IsReservedAddress(address)) return nullptr;
    if (SLinkDevStat* found = Find(address)) return found;
    SLinkDevStat fresh;
    fresh.w[SLinkDevStat::kDevice] = address;
    m_records.push_back(fresh);
    if (m_records.size() >= m_capacityBytes / kRecordBytes) m_capacityBytes *= 2;
    return &m_records.back();
}

void CLinkStatTable::OnTransactionStarted(std::uint32_t address) {
    std::lock_guard lock(m_mutex);
    if (SLinkDevStat* r = FindOrCreate(address)) ++r->w[SLinkDevStat::kTransactions];
}

void CLinkStatTable::OnAttempt(std::uint32_t address) {
    std::lock_guard lock(m_mutex);
    if (SLinkDevStat* r = FindOrCreate(address)) ++r->w[SLinkDevStat::kCommands];
}

void CLinkStatTable::OnFailedAttempt(std::uint32_t address, int code) {
    std::lock_guard lock(m_mutex);
    SLinkDevStat* r = Find(address);
    if (!r) return;
    ++r->w[SLinkDevStat::kErrors];
    ++r->w[SLinkDevStat::kErrorRun];
    if (code <= -1 && code >= -kLinkResultCount) ++r->w[SLinkDevStat::CodeWord(code)];
}

void CLinkStatTable::OnFinalFailure(std::uint32_t address) {
    std::lock_guard lock(m_mutex);
    if (SLinkDevStat* r = Find(address)) ++r->w[SLinkDevStat::kErrorsWithRepeat];
}

void CLinkStatTable::OnSuccess(std::uint32_t address) {
    std::lock_guard lock(m_mutex);
    if (SLinkDevStat* r = Find(address)) r->w[SLinkDevStat::kErrorRun] = 0;
}

}  // namespace dravmer
