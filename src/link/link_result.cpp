#include "link/link_result.h"

#include <cstdio>

namespace dravmer {

const char* const kLinkShortNames[kLinkResultCount] = {
    "Empty",   "CRC",     "Len",        "TrRes08",     "TrRes09",  "TrRes0A",
    "TrRes0B", "TrRes0C", "NoLink",     "CmdResult",   "TrDevAdr", "TrCmd",
    "DevAdr",  "Cmd",     "ServerBusy", "InternalBusy"};

namespace {

// Log messages, index = -code; the quote characters are part of the stored text.
const char* const kLogMessages[kLinkResultCount + 1] = {
    "\"нет ошибки\"",
    "\"не принято ни одного байта\"",
    "\"не совпала контрольная сумма\"",
    "\"длина ответа не кратна длине блока\"",
    "\"транзит (08h): Нет связи с ИМ\"",
    "\"транзит (09h): Ошибка при передаче команды в ИМ\"",
    "\"транзит (0Ah): Ошибка при приеме ответа из ИМ (не принято ни одного байта)\"",
    "\"транзит (0Bh): Ошибка CRC при приеме ответа из ИМ\"",
    "\"транзит (0Ch): Ошибка при приеме ответа из ИМ (прием не завершился)\"",
    "\"ошибка при передачи в порт - нет соединения\"",
    "\"m_OPC.m_ucResult=%u в команде прибора\"",
    "\"в ответе не совпал номер прибора в команде транзита\"",
    "\"в ответе не совпал номер команды в команде транзита\"",
    "\"в ответе не совпал номер прибора в команде к прибору\"",
    "\"в ответе не совпал номер команды в команде к прибору\"",
    "\"сервер перегружен\"",
    "\"внутренняя ошибка использования ресурсов связи\"",
};

}  // namespace

const char* const kLinkDisplayMessages[kLinkResultCount] = {
    "не принято ни одного байта",
    "не совпала контрольная сумма",
    "длина ответа не кратна длине блока",
    "транзит (08h): Нет связи с ИМ",
    "транзит (09h): Ошибка при передаче команды в ИМ",
    "транзит (0Ah): Ошибка при приеме ответа из ИМ (не принято ни одного байта)",
    "транзит (0Bh): Ошибка CRC при приеме ответа из ИМ",
    "транзит (0Ch): Ошибка при приеме ответа из ИМ (прием не завершился)",
    "ошибка при передачи в порт - нет соединения",
    "OPC.m_ucResult!=0 в команде прибора",
    "в ответе не совпал номер прибора в команде транзита",
    "в ответе не совпал номер команды в команде транзита",
    "в ответе не совпал номер прибора в команде к прибору",
    "в ответе не совпал номер команды в команде к прибору",
    "сервер перегружен",
    "внутренняя ошибка использования ресурсов связи",
};

std::string LinkResultText(int code, std::uint8_t deviceResult) {
    if (code > 0 || code < -kLinkResultCount) return {};
    if (code == kLinkCmdResult) {
        char text[128];
        std::snprintf(text, sizeof text, kLogMessages[-code], static_cast<unsigned>(deviceResult));
        return text;
    }
    return kLogMessages[-code];
}

const char* LinkShortName(int code) {
    if (code >= 0 || code < -kLinkResultCount) return "";
    return kLinkShortNames[-code - 1];
}

}  // namespace dravmer
