#include "link/link_r307.h"

#include <cstdio>
#include <cstring>

namespace dravmer {

CLinkR307::CLinkR307(std::string appName)
    : m_errorLog(appName + "-" + kLinkErrorsLogSuffix),
      m_imLog(appName + "-" + kImErrorsLogSuffix) {}

CLinkR307::~CLinkR307() { StopErrorLog(); }

void CLinkR307::Prepare(std::uint32_t address, std::uint8_t command, int blocks, int writeBit,
                        std::uint8_t attribute) {
    m_send.fill(0);
    m_receive.fill(0);
    m_address = address;
    m_command = command;
    m_blocks = blocks;
    std::uint8_t attr = attribute;
    attr = writeBit ? (attr | 0x80) : (attr & 0x7F);
    m_send[6] = static_cast<std::uint8_t>(attr | 0x40);
}

bool CLinkR307::SendFrame() {
    if (!m_port || !m_port->IsOpen()) return false;
    m_port->Purge();
    if (m_pollingMark) m_port->MarkPollingRequest();
    m_port->Write(m_send.data(), m_sentLength);  // a lost write shows as a missing reply
    return true;
}

int CLinkR307::ReceiveReply() {
    m_lastResult = kLinkOk;
    int length = kFrameBufferSize;
    const int portResult = m_port->ReadReply(m_receive.data(), length);
    if (length > kFrameBufferSize) {
        m_receivedLength = m_rawLength = 0;
        m_payloadLength = 0;
        return m_lastResult = kLinkLen;
    }
    if (portResult != 0 && portResult != -2 && length > 0) length = 0;  // nothing usable came
    if (length < 0) length = 0;
    m_rawLength = m_receivedLength = length;
    std::memcpy(m_rawReply.data(), m_receive.data(), static_cast<std::size_t>(length));
    m_payloadLength = m_activeTransit ? length - kBlockSize : length;
    if (portResult == -2) return m_lastResult = kLinkServerBusy;
    if (length % kBlockSize != 0) return m_lastResult = kLinkLen;

    const int matched = FrameLengthFromCrcSearch(m_receive.data(), length);
    if (matched == 0) return m_lastResult = (length > 0 ? kLinkCrc : kLinkEmpty);

    if (!m_activeTransit) {
        m_receive[5] &= 0x7F;
        return kLinkOk;
    }
    m_transitStatus = m_receive[6] & 0x1F;
    if (GetLe32(m_receive.data()) != m_activeTransit) return m_lastResult = kLinkTrDevAdr;
    m_receive[5] &= 0x7F;
    if (m_receive[5] != m_transitCommand) return m_lastResult = kLinkTrCmd;
    std::memcpy(m_transitHeader.data(), m_receive.data(), kBlockSize);
    std::memmove(m_receive.data(), m_receive.data() + kBlockSize,
                 static_cast<std::size_t>(matched - kBlockSize));
    std::memset(m_receive.data() + matched - kBlockSize, 0, kBlockSize);
    m_receive[5] &= 0x7F;
    if (m_transitStatus) m_deviceResult = m_transitStatus;
    return m_lastResult = TransitStatusToResult(m_transitStatus);
}

int CLinkR307::Transact(bool repeatAllowed) {
    // One transit for the whole transaction, even if the search changes it meanwhile.
    m_activeTransit = m_sendUnwrapped ? 0 : m_transitAddress.load();
    m_sendUnwrapped = false;
    const int outerBlocks = m_blocks + (m_activeTransit ? 1 : 0);
    if (m_blocks < 1 || outerBlocks > kMaxBlocks) {
        // A request that cannot fit the 512-byte buffer is refused rather than overrun it.
        return m_lastResult = kLinkLen;
    }
    PutLe32(m_send.data(), m_address);
    m_send[4] = static_cast<std::uint8_t>(m_blocks);
    m_send[5] = m_command;
    if (m_activeTransit) WrapTransit(m_send.data(), m_blocks, m_activeTransit, m_transitCommand);
    m_sentLength = SealFrame(m_send.data());

    const bool reserved = IsReservedAddress(m_address);
    m_stats.OnTransactionStarted(m_address);
    int failedAttempts = 0;
    for (;;) {
        m_stats.OnAttempt(m_address);
        if (!SendFrame()) {
            m_lastResult = kLinkNoLink;
            m_stats.OnFailedAttempt(m_address, kLinkNoLink);
            LogSendError(kLinkNoLink);
            return kLinkNoLink;
        }
        const int received = ReceiveReply();
        int code = received;
        if (received == kLinkOk) {
            int mismatch = kLinkOk;
            if (GetLe32(m_receive.data()) != m_address) mismatch = kLinkDevAdr;
            if (m_receive[5] != m_command) mismatch = kLinkCmd;
            if (m_receive[4] >= 2 && (m_receive[6] & 0x1F) != 0) {
                m_deviceResult = m_receive[6] & 0x1F;
                return m_lastResult = kLinkCmdResult;
            }
            if (mismatch == kLinkOk) {
                m_stats.OnSuccess(m_address);
                return m_lastResult = kLinkOk;
            }
            code = m_lastResult = mismatch;
            m_stats.OnFailedAttempt(m_address, code);
            ++failedAttempts;
            if (reserved) {
                m_stats.OnFinalFailure(m_address);
                return code;
            }
        } else {
            m_stats.OnFailedAttempt(m_address, code);
            ++failedAttempts;
            if (reserved) {
                if (code == kLinkEmpty || code == kLinkCrc || code == kLinkLen ||
                    code == kLinkNoLink || code == kLinkServerBusy) {
                    LogAttemptError(code);
                }
                return code;
            }
        }
        LogAttemptError(code);
        if (failedAttempts <= kRepeatCount && repeatAllowed) continue;
        m_stats.OnFinalFailure(m_address);
        LogRepeatsExhausted(failedAttempts);
        return code;
    }
}

void CLinkR307::ResetStatistics() {
    if (m_errorLogOn) m_errorLog.Write(m_stats.Dump() + "Reset statistics\r\n");
    m_stats.Reset();
}

void CLinkR307::StartErrorLog() {
    if (!m_errorLogOn.exchange(true)) m_errorLog.Write("Start.\r\n");
}

void CLinkR307::StopErrorLog() {
    if (m_errorLogOn.exchange(false)) m_errorLog.Write(m_stats.Dump() + "Stop.\r\n\r\n\r\n");
}

void CLinkR307::SetLogSink(const LinkLogSink& sink) {
    m_errorLog.SetSink(sink);
    m_imLog.SetSink(sink);
}

void CLinkR307::LogSendError(int code) {
    if (!m_errorLogOn) return;
    char text[512];
    std::snprintf(
        text, sizeof text,
        "\r\nОшибка передачи команды. Код ошибки: %d - %s.\r\nПрибор: %u  команда: %u\r\n", code,
        ResultText(code).c_str(), m_address, static_cast<unsigned>(m_command));
    m_errorLog.Write(text + std::string(39, '-') + "\r\n");
}

void CLinkR307::LogAttemptError(int code) {
    if (!m_errorLogOn) return;
    char head[512];
    std::snprintf(head, sizeof head,
                  "\r\nОшибка приёма.  Код ошибки: %d - %s.\r\nПрибор: %u  команда: %u\r\n", code,
                  ResultText(code).c_str(), m_address, static_cast<unsigned>(m_command));
    char sent[32];
    char received[32];
    std::snprintf(sent, sizeof sent, "send     (%u b):  ", static_cast<unsigned>(m_sentLength));
    std::snprintf(received, sizeof received,
                  "receive  (%u b):  ", static_cast<unsigned>(m_rawLength));
    m_errorLog.Write(std::string(head) + sent + FormatLogBytes(m_send.data(), m_sentLength) +
                     "\r\n" + received + FormatLogBytes(m_rawReply.data(), m_rawLength) + "\r\n" +
                     std::string(87, '-') + "\r\n");
}

void CLinkR307::LogRepeatsExhausted(int failedAttempts) {
    if (!m_errorLogOn) return;
    char text[256];
    std::snprintf(text, sizeof text, "%d попытки обращения к прибору %u завершились неудачно.\r\n",
                  failedAttempts, m_address);
    m_errorLog.Write(text + std::string(87, '-') + "\r\n");
}

void CLinkR307::LogImError() {
    char head[128];
    std::snprintf(head, sizeof head, "\r\nПрибор: %u  команда: %u\r\n", m_address,
                  static_cast<unsigned>(m_command));
    char sent[32];
    char received[32];
    std::snprintf(sent, sizeof sent, "send     (%u b):  ", static_cast<unsigned>(m_sentLength));
    std::snprintf(received, sizeof received,
                  "receive  (%u b):  ", static_cast<unsigned>(m_rawLength));
    m_imLog.Write(std::string(head) + sent + FormatLogBytes(m_send.data(), m_sentLength) + "\r\n" +
                  received + FormatLogBytes(m_rawReply.data(), m_rawLength) + "\r\n" +
                  std::string(93, '-') + "\r\n");
}

}  // namespace dravmer
