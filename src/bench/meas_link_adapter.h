#pragma once
// The poll's three reads over a port's protocol object.
#include "bench/meas_reader.h"
#include "link/link_r307.h"

namespace dravmer {

class CMeasLinkAdapter : public IMeasLink {
public:
    explicit CMeasLinkAdapter(CLinkR307& link) : m_link(link) {}
    int ReadAdc(std::uint32_t address, int mode, SAdcData& out) override;
    int ReadCurrentValues(std::uint32_t address, std::vector<SValueGroup>& groups) override;
    int ReadResistances(std::uint32_t address, std::array<SValueGroup, 3>& groups) override;

private:
    CLinkR307& m_link;
};

}  // namespace dravmer
