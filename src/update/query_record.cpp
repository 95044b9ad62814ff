#include "update/query_record.h"

#include <algorithm>
#include <cstring>

namespace dravmer {

namespace {

void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t Get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
std::uint16_t Get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::string FixedText(const std::uint8_t* p, std::size_t room) {
    const char* s = reinterpret_cast<const char*>(p);
    return std::string(s, strnlen(s, room));
}

void PutFixedText(std::uint8_t* p, std::size_t room, const std::string& text) {
    std::memset(p, 0, room);
    std::memcpy(p, text.data(), std::min(text.size(), room - 1));
}

void PutComputer(std::uint8_t* record, const std::string& computer) {
    if (!computer.empty()) PutFixedText(record + kQueryNameAt, kQueryNameSize, computer);
}

const char* const kResultTexts[2][kQueryResultCount] = {
    {
        "Успешное завершение.",
        "Ошибка открытия файла.",
        "Доступ запрещен.",
        "Неизвестная ошибка.",
        "Файл не открыт.",
        "Файл уже  существует.",
        "Ошибка создания файла.",
        "Ошибка сетевой операции.",
        "Internal msg",
        "Ошибка при записи файла.",
        "Ошибка при чтении файла.",
        "Не указан сервер.",
        "Соединение уже установлено.",
        "Ошибка инициализации сокета.",
        "Ошибка идентификации хоста.",
        "Ошибка сокета.",
        "Ошибка соединения с сервером.",
        "Ошибка получения имени локальной машины.",
        "Ошибка нет соединения.",
        "Ошибка разрыва соединения.",
        "Ошибка передачи данных на сервер.",
        "Не известная ошибка на сервере.",
        "Ошибка приёма данных от сервера.",
        "Неверный пароль.",
        "Ошибка удаления файла.",
        "Превышено максимальное количество файлов.",
    },
    {
        "Completed successfully.",
        "Error opening the file.",
        "Access denied.",
        "Unknown error.",
        "The file is not open.",
        "The file already exists.",
        "Error creating the file.",
        "Network operation error.",
        "Internal msg",
        "Error writing the file.",
        "Error reading the file.",
        "No server given.",
        "The connection is already established.",
        "Socket initialisation error.",
        "Host identification error.",
        "Socket error.",
        "Error connecting to the server.",
        "Error getting the local computer's name.",
        "Error: no connection.",
        "Error: the connection was broken.",
        "Error sending data to the server.",
        "Unknown error on the server.",
        "Error receiving data from the server.",
        "Wrong password.",
        "Error deleting the file.",
        "Too many files.",
    }};

}  // namespace

const char* QueryResultText(int code, Language language) {
    return code >= 0 && code < kQueryResultCount
               ? kResultTexts[language == Language::English ? 1 : 0][code]
               : "";
}

std::string SCatalogEntry::Name() const { return FixedText(text + kCatalogNameAt, kCatalogNameSize); }

void SCatalogEntry::SetName(const std::string& name) {
    PutFixedText(text + kCatalogNameAt, kCatalogNameSize, name);
}

std::optional<std::string> SCatalogEntry::Sha256() const {
    const std::string field = FixedText(text + kCatalogShaAt, sizeof text - kCatalogShaAt);
    const std::string prefix = kCatalogShaPrefix;
    if (field.size() != prefix.size() + 64 || field.compare(0, prefix.size(), prefix) != 0) {
        return std::nullopt;
    }
    std::string hex = field.substr(prefix.size());
    for (char& c : hex) {
        if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
    }
    return hex;
}

void SCatalogEntry::SetSha256(const std::string& hex) {
    PutFixedText(text + kCatalogShaAt, sizeof text - kCatalogShaAt,
                 hex.empty() ? std::string() : kCatalogShaPrefix + hex);
}

void EncodeFileEntry(const SFileEntry& e, std::uint8_t* out) {
    PutFixedText(out, 128, e.name);
    Put32(out + 128, static_cast<std::uint32_t>(e.size));
    Put32(out + 132, e.created);
    Put32(out + 136, e.modified);
}

SFileEntry DecodeFileEntry(const std::uint8_t* in) {
    SFileEntry e;
    e.name = FixedText(in, 128);
    e.size = static_cast<std::int32_t>(Get32(in + 128));
    e.created = Get32(in + 132);
    e.modified = Get32(in + 136);
    return e;
}

void EncodeCatalogEntry(const SCatalogEntry& e, std::uint8_t* out) {
    std::memcpy(out, e.text, sizeof e.text);
    out[kCatalogMajorAt] = e.major;
    out[kCatalogMinorAt] = e.minor;
}

SCatalogEntry DecodeCatalogEntry(const std::uint8_t* in) {
    SCatalogEntry e;
    std::memcpy(e.text, in, sizeof e.text);
    e.major = in[kCatalogMajorAt];
    e.minor = in[kCatalogMinorAt];
    return e;
}

void EncodeFileDescription(const SFileDescription& d, std::uint8_t* out) {
    std::memset(out, 0, kFileDescriptionSize);
    EncodeCatalogEntry(d.entry, out);
    Put32(out + 388, static_cast<std::uint32_t>(d.size));
    Put32(out + 392, d.created);
    Put32(out + 396, d.modified);
}

SFileDescription DecodeFileDescription(const std::uint8_t* in) {
    SFileDescription d;
    d.entry = DecodeCatalogEntry(in);
    d.size = static_cast<std::int32_t>(Get32(in + 388));
    d.created = Get32(in + 392);
    d.modified = Get32(in + 396);
    return d;
}

void EncodeServerTime(const SServerTime& t, std::uint8_t* out) {
    const std::uint16_t v[8] = {t.year, t.month, t.dayOfWeek, t.day,
                                t.hour, t.minute, t.second, t.milliseconds};
    for (int i = 0; i < 8; ++i) Put16(out + 2 * i, v[i]);
}

SServerTime DecodeServerTime(const std::uint8_t* in) {
    SServerTime t;
    std::uint16_t* v[8] = {&t.year, &t.month, &t.dayOfWeek, &t.day,
                           &t.hour, &t.minute, &t.second, &t.milliseconds};
    for (int i = 0; i < 8; ++i) *v[i] = Get16(in + 2 * i);
    return t;
}

SServerTime AddReplyTime(SServerTime t, int ms) {
    int sum = t.milliseconds + (ms > 0 ? ms : 0);
    while (sum >= 1000) {
        sum -= 1000;
        if (t.second >= 59) {
            t.second = 0;
            t.minute = static_cast<std::uint16_t>(t.minute + 1);
        } else {
            t.second = static_cast<std::uint16_t>(t.second + 1);
        }
    }
    t.milliseconds = static_cast<std::uint16_t>(sum);
    return t;
}

void PutQueryHeader(std::uint8_t* record, int length, std::uint8_t command, std::uint8_t result) {
    std::memcpy(record, kQueryTag, sizeof kQueryTag);
    Put32(record + kQueryLengthAt, static_cast<std::uint32_t>(length));
    record[kQueryCommandAt] = command;
    record[kQueryResultAt] = result;
}

std::vector<std::uint8_t> BuildBareRecord(std::uint8_t command, std::uint8_t result,
                                          const std::string& computer) {
    std::vector<std::uint8_t> r(kBareRecordLength, 0);
    PutQueryHeader(r.data(), kBareRecordLength, command, result);
    PutComputer(r.data(), computer);
    return r;
}

std::vector<std::uint8_t> BuildTextRecord(std::uint8_t command, std::uint8_t result,
                                          const std::string& computer, const std::string& text) {
    // A text record is 83 bytes and the string; the zero that ends it is the 84th.
    const std::string t = text.substr(0, kQueryBufferSize - kQueryPayloadAt - 2);
    const int length = 83 + static_cast<int>(t.size());
    std::vector<std::uint8_t> r(static_cast<std::size_t>(length) + 1, 0);
    PutQueryHeader(r.data(), length, command, result);
    PutComputer(r.data(), computer);
    std::memcpy(r.data() + kQueryPayloadAt, t.data(), t.size());
    r.resize(static_cast<std::size_t>(length));
    return r;
}

std::vector<std::uint8_t> BuildPayloadRecord(std::uint8_t command, std::uint8_t result,
                                             const std::string& computer,
                                             const std::uint8_t* payload, int size) {
    const int length = kQueryPayloadAt + size;
    std::vector<std::uint8_t> r(static_cast<std::size_t>(length), 0);
    PutQueryHeader(r.data(), length, command, result);
    PutComputer(r.data(), computer);
    if (size > 0) std::memcpy(r.data() + kQueryPayloadAt, payload, static_cast<std::size_t>(size));
    return r;
}

std::vector<std::uint8_t> BuildChunkRecord(std::uint8_t command, std::uint8_t result,
                                           const std::uint8_t* data, int size) {
    const int length = 28 + size;
    std::vector<std::uint8_t> r(static_cast<std::size_t>(length), 0);
    PutQueryHeader(r.data(), length, command, result);
    Put32(r.data() + kQueryChunkLengthAt, static_cast<std::uint32_t>(size));
    if (size > 0) std::memcpy(r.data() + kQueryChunkAt, data, static_cast<std::size_t>(size));
    return r;
}

ERecordState QueryRecordState(const std::uint8_t* data, std::size_t size, int maxLength,
                              int& length) {
    if (size == 0) return ERecordState::kNeedMore;
    const std::size_t tagSeen = std::min<std::size_t>(size, kQueryTagSize);
    if (std::memcmp(data, kQueryTag, tagSeen) != 0) return ERecordState::kInvalid;
    if (size < static_cast<std::size_t>(kQueryLengthAt + 4)) return ERecordState::kNeedMore;
    const std::int32_t field = static_cast<std::int32_t>(Get32(data + kQueryLengthAt));
    if (field < kQueryMinRecord || field > maxLength) return ERecordState::kInvalid;
    if (size < static_cast<std::size_t>(field)) return ERecordState::kNeedMore;
    length = field;
    return ERecordState::kComplete;
}

std::optional<std::string> RecordText(const std::uint8_t* record, int length) {
    if (length <= kQueryPayloadAt) return std::nullopt;
    const char* s = reinterpret_cast<const char*>(record + kQueryPayloadAt);
    const std::size_t room = static_cast<std::size_t>(length - kQueryPayloadAt);
    const std::size_t n = strnlen(s, room);
    if (n == room) return std::nullopt;
    return std::string(s, n);
}

bool RecordChunk(const std::uint8_t* record, int length, const std::uint8_t*& data, int& size) {
    if (length < kQueryChunkAt) return false;
    const std::int32_t n = static_cast<std::int32_t>(Get32(record + kQueryChunkLengthAt));
    if (n < 0 || n > kQueryMaxChunk || n > length - kQueryChunkAt) return false;
    data = record + kQueryChunkAt;
    size = n;
    return true;
}

bool IsPlainFileName(const std::string& name) {
    if (name.empty() || name.size() > 127 || name[0] == '.') return false;
    for (const char c : name) {
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return false;
        }
    }
    return true;
}

}  // namespace dravmer
