#include "bench/meas_link_adapter.h"

#include <algorithm>

#include "link/frame.h"

namespace dravmer {

bool CMeasLinkAdapter::ParseAdc(const std::uint8_t* d, SAdcData& out) {
    out.mode = d[0];
    out.cycle = d[1];
    out.kg = d[2];
    out.kr = d[3];
    out.state = static_cast<std::uint16_t>(d[4] | (d[5] << 8));
    const int n = d[6];
    // Modes 0 and 1 carry 32-bit codes; the link has already checked the reply holds them.
    out.codes.resize(static_cast<size_t>(n));
    for (int c = 0; c < n; ++c) {
        const std::uint8_t* p = d + 7 + 4 * c;
        out.codes[static_cast<size_t>(c)] =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | (p[1] << 8) |
                                      (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
    }
    return n > 0;
}

int CMeasLinkAdapter::ReadAdc(std::uint32_t address, int mode, SAdcData& out) {
    // Measurement reads mark the link, so a COM server can tell polling from other requests.
    m_link.SetPollingMark();
    std::uint8_t buffer[kFrameBufferSize] = {};
    const int rc = m_link.ReadAdc(address, mode, buffer);
    if (rc != 0) return rc;
    ParseAdc(buffer, out);
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
