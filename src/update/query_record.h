#pragma once
// Records of the remote file service (TCP port 34001): a fixed header tagged "QueryStruct",
// the command and result codes, the computer name and a payload. Pure functions over bytes,
// shared by the bench's client and the file server.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/language.h"

namespace dravmer {

inline constexpr int kFileServerTcpPort = 34001;
inline constexpr char kQueryTag[] = "QueryStruct";  // 11 characters and the zero
inline constexpr int kQueryTagSize = 12;
inline constexpr int kQueryLengthAt = 12;
inline constexpr int kQueryCommandAt = 16;
inline constexpr int kQueryResultAt = 17;
inline constexpr int kQueryNameAt = 18;
inline constexpr int kQueryNameSize = 64;
inline constexpr int kQueryPayloadAt = 82;
inline constexpr int kQueryChunkLengthAt = 20;
inline constexpr int kQueryChunkAt = 24;
inline constexpr int kQueryMaxChunk = 131072;
inline constexpr int kQueryBufferSize = 131172;
// The smallest record that still carries its command and result bytes.
inline constexpr int kQueryMinRecord = 18;

inline constexpr int kBareRecordLength = 84;
inline constexpr int kFileEntrySize = 140;
inline constexpr int kCatalogEntrySize = 386;
inline constexpr int kFileDescriptionSize = 400;
inline constexpr int kCatalogNameAt = 128;
inline constexpr int kCatalogNameSize = 128;
inline constexpr int kCatalogMajorAt = 384;
inline constexpr int kCatalogMinorAt = 385;
// Where a server publishes the SHA-256 of the file in a catalog entry's free descriptive bytes:
// "sha256=" and 64 hex digits, zero-terminated, from this offset.
inline constexpr int kCatalogShaAt = 256;
inline constexpr char kCatalogShaPrefix[] = "sha256=";

enum EQueryCommand : std::uint8_t {
    kQcDescribe = 1,       // text: file name -> file description; opens it for reading
    kQcChunk = 2,          // bare -> the next chunk of the opened file
    kQcCloseFile = 3,      // bare -> result
    kQcUploadEntry = 4,    // file entry of the file to upload
    kQcUploadChunk = 5,    // chunk of the upload
    kQcFileExists = 6,     // text: name -> result
    kQcListFiles = 7,      // bare -> count and file entries
    kQcListCatalog = 8,    // bare -> count and catalog entries
    kQcAddCatalog = 9,     // catalog entry
    kQcDeleteFile = 10,    // text: name
    kQcUpdateCatalog = 11, // catalog entry
    kQcDeleteCatalog = 12, // text: name
    kQcLog = 13,           // text: a log line
    kQcServerTime = 14,    // bare -> date and time at offset 18
};

enum EQueryResult : int {
    kQrOk = 0,
    kQrFileOpen = 1,
    kQrAccessDenied = 2,
    kQrUnknown = 3,
    kQrFileNotOpen = 4,
    kQrFileExists = 5,
    kQrFileCreate = 6,
    kQrNetwork = 7,
    kQrInternal = 8,
    kQrFileWrite = 9,
    kQrFileRead = 10,
    kQrNoServer = 11,
    kQrAlreadyConnected = 12,
    kQrSocketInit = 13,
    kQrHostLookup = 14,
    kQrSocket = 15,
    kQrConnect = 16,
    kQrLocalName = 17,
    kQrNotConnected = 18,
    kQrDisconnect = 19,
    kQrSend = 20,
    kQrServerClosed = 21,
    kQrReplyTimeout = 22,
    kQrPassword = 23,
    kQrDelete = 24,
    kQrTooManyFiles = 25,
};
inline constexpr int kQueryResultCount = 26;
// The text shown for a result code; "" outside 0..25.
const char* QueryResultText(int code, Language language = Language::Russian);

struct SFileEntry {
    std::string name;  // without its folder, at most 127 bytes
    std::int32_t size = 0;
    std::uint32_t created = 0;   // seconds since 1970
    std::uint32_t modified = 0;
};

struct SCatalogEntry {
    std::uint8_t text[kCatalogEntrySize - 2] = {};  // descriptive bytes; the name lies at 128
    std::uint8_t major = 0;
    std::uint8_t minor = 0;

    std::string Name() const;
    void SetName(const std::string& name);
    // The published SHA-256 (64 lower-case hex digits), or nothing.
    std::optional<std::string> Sha256() const;
    void SetSha256(const std::string& hex);
    int Version() const { return major * 256 + minor; }
};

struct SFileDescription {
    SCatalogEntry entry;
    std::int32_t size = 0;
    std::uint32_t created = 0;
    std::uint32_t modified = 0;
};

struct SServerTime {
    std::uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0;
    std::uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
};

void EncodeFileEntry(const SFileEntry& e, std::uint8_t* out);  // 140 bytes
SFileEntry DecodeFileEntry(const std::uint8_t* in);
void EncodeCatalogEntry(const SCatalogEntry& e, std::uint8_t* out);  // 386 bytes
SCatalogEntry DecodeCatalogEntry(const std::uint8_t* in);
void EncodeFileDescription(const SFileDescription& d, std::uint8_t* out);  // 400 bytes
SFileDescription DecodeFileDescription(const std::uint8_t* in);
void EncodeServerTime(const SServerTime& t, std::uint8_t* out);  // 16 bytes
SServerTime DecodeServerTime(const std::uint8_t* in);
// Adds the time a reply took to a server time: milliseconds carry into the second, and a
// second that was 59 carries into the minute.
SServerTime AddReplyTime(SServerTime t, int ms);

// A record's header fields; the computer name is filled in unless name is empty.
std::vector<std::uint8_t> BuildBareRecord(std::uint8_t command, std::uint8_t result,
                                          const std::string& computer);
std::vector<std::uint8_t> BuildTextRecord(std::uint8_t command, std::uint8_t result,
                                          const std::string& computer, const std::string& text);
std::vector<std::uint8_t> BuildPayloadRecord(std::uint8_t command, std::uint8_t result,
                                             const std::string& computer,
                                             const std::uint8_t* payload, int size);
std::vector<std::uint8_t> BuildChunkRecord(std::uint8_t command, std::uint8_t result,
                                           const std::uint8_t* data, int size);
// Puts tag, length, command and result into a record being built in place.
void PutQueryHeader(std::uint8_t* record, int length, std::uint8_t command, std::uint8_t result);

enum class ERecordState { kNeedMore, kComplete, kInvalid };
// Looks at the start of received bytes: complete when a whole record lies there (length set
// to its length field), invalid when the tag is wrong or the length field is below the
// smallest record or above maxLength.
ERecordState QueryRecordState(const std::uint8_t* data, std::size_t size, int maxLength,
                              int& length);

// The zero-terminated text of a text record's payload; nothing when the record holds no
// terminating zero after offset 82.
std::optional<std::string> RecordText(const std::uint8_t* record, int length);
// The chunk of a chunk record; nothing when its length field does not fit the record.
bool RecordChunk(const std::uint8_t* record, int length, const std::uint8_t*& data, int& size);

// The file names a server accepts: a plain name of at most 127 bytes, no folder part, not
// "." or "..", not hidden (a leading dot), no control characters.
bool IsPlainFileName(const std::string& name);

}  // namespace dravmer
