#include "bench/meas_link_adapter.h"

#include <algorithm>

#include "link/adc_reply.h"
#include "link/frame.h"

namespace dravmer {

int CMeasLinkAdapter::ReadAdc(std::uint32_t address, int mode, SAdcData& out) {
    // Measurement reads mark the link, so a COM server can tell polling from other requests.
    m_link.SetPollingMark();
    std::uint8_t buffer[kFrameBufferSize] = {};
    const int rc = m_link.ReadAdc(address, mode, buffer);
    if (rc != 0) return rc;
    // The link has checked the reply holds every code it counts.
    DecodeAdcReply(buffer, kFrameBufferSize, out);
    return 0;
}

int CMeasLinkAdapter::ReadCurrentValues(std::uint32_t address, std::vector<SValueGroup>& groups) {
    SCurrentValues v;
    const int rc = m_link.ReadCurrentValues(address, v);
    if (rc != 0) return rc;
    groups.clear();
    const int n = std::min<int>(v.groupCount, static_cast<int>(v.groups.size()));
    for (int g = 0; g < n; ++g)
        groups.push_back(
            {v.groups[static_cast<size_t>(g)].status, v.groups[static_cast<size_t>(g)].raw});
    return 0;
}

int CMeasLinkAdapter::ReadResistances(std::uint32_t address, std::array<SValueGroup, 3>& groups) {
    SResistances r;
    const int rc = m_link.ReadResistances(address, r);
    if (rc != 0) return rc;
    for (size_t g = 0; g < 3; ++g) groups[g] = {r.groups[g].status, r.groups[g].raw};
    return 0;
}

}  // namespace dravmer
