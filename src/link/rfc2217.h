#pragma once
// Telnet with the COM-port control option (RFC 2217): byte stuffing, option negotiation and
// the server's acknowledgements, as a pure decoder over received bytes.
#include <cstdint>
#include <set>
#include <vector>

namespace dravmer {

inline constexpr std::uint8_t kTelnetIac = 255;
inline constexpr std::uint8_t kTelnetDont = 254;
inline constexpr std::uint8_t kTelnetDo = 253;
inline constexpr std::uint8_t kTelnetWont = 252;
inline constexpr std::uint8_t kTelnetWill = 251;
inline constexpr std::uint8_t kTelnetSb = 250;
inline constexpr std::uint8_t kTelnetSe = 240;
inline constexpr std::uint8_t kTelnetBinary = 0;
inline constexpr std::uint8_t kTelnetSga = 3;
inline constexpr std::uint8_t kTelnetComPort = 44;

inline constexpr std::uint8_t kCpcSetBaudRate = 1;
inline constexpr std::uint8_t kCpcSetDataSize = 2;
inline constexpr std::uint8_t kCpcSetParity = 3;
inline constexpr std::uint8_t kCpcSetStopSize = 4;
inline constexpr std::uint8_t kCpcSetControl = 5;
inline constexpr std::uint8_t kCpcPurgeData = 12;
inline constexpr std::uint8_t kCpcServerOffset = 100;  // server answers carry command + 100

// Data with every 0xFF doubled.
std::vector<std::uint8_t> TelnetEscape(const std::uint8_t* data, int length);
// A COM-port subnegotiation from the client: IAC SB 44 command value IAC SE.
std::vector<std::uint8_t> ComPortCommand(std::uint8_t command,
                                         const std::vector<std::uint8_t>& value);

class CTelnetDecoder {
public:
    // Feeds received bytes: data goes to data, negotiation answers to reply (to be sent back).
    void Feed(const std::uint8_t* in, int length, std::vector<std::uint8_t>& data,
              std::vector<std::uint8_t>& reply);
    // The client already asked for this: a server's verb on the option needs no answer.
    void Initiated(std::uint8_t serverVerb, std::uint8_t option) {
        m_answered.insert(serverVerb * 256 + option);
    }
    // Acknowledgements seen for each COM-port command (count per command 0..19).
    int Acks(std::uint8_t command) const { return command < 20 ? m_acks[command] : 0; }
    // Value of the last acknowledgement of a command.
    const std::vector<std::uint8_t>& AckValue(std::uint8_t command) const {
        return m_ackValues[command < 20 ? command : 0];
    }

private:
    void Negotiate(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& reply);
    void Subnegotiation();

    enum class EState { kData, kIac, kVerb, kSb, kSbIac } m_state = EState::kData;
    std::uint8_t m_verb = 0;
    std::vector<std::uint8_t> m_sb;
    int m_acks[20] = {};
    std::vector<std::uint8_t> m_ackValues[20];
    std::set<int> m_answered;  // verb x 256 + option already answered
};

}  // namespace dravmer
