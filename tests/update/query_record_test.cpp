#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "update/query_record.h"
#include "update/sha256.h"

namespace dravmer {
namespace {

std::int32_t LengthField(const std::vector<std::uint8_t>& r) {
    std::int32_t v;
    std::memcpy(&v, r.data() + kQueryLengthAt, 4);
    return v;
}

TEST(QueryRecord, ShapesHaveTheLengthsPeersExpect) {
    const auto bare = BuildBareRecord(kQcListFiles, 0, "BENCH-7");
    EXPECT_EQ(bare.size(), 84u);
    EXPECT_EQ(LengthField(bare), 84);
    EXPECT_STREQ(reinterpret_cast<const char*>(bare.data()), "QueryStruct");
    EXPECT_STREQ(reinterpret_cast<const char*>(bare.data() + kQueryNameAt), "BENCH-7");

    const auto text = BuildTextRecord(kQcDescribe, 0, "BENCH-7", "dravmer");
    EXPECT_EQ(LengthField(text), 83 + 7);
    EXPECT_EQ(RecordText(text.data(), LengthField(text)), "dravmer");

    SFileEntry e{"dravmer", 1234, 10, 20};
    std::uint8_t raw[kFileEntrySize];
    EncodeFileEntry(e, raw);
    EXPECT_EQ(LengthField(BuildPayloadRecord(kQcUploadEntry, 0, "x", raw, sizeof raw)), 222);
    const SFileEntry back = DecodeFileEntry(raw);
    EXPECT_EQ(back.name, "dravmer");
    EXPECT_EQ(back.size, 1234);
    EXPECT_EQ(back.modified, 20u);

    const std::uint8_t data[5] = {1, 2, 3, 4, 5};
    const auto chunk = BuildChunkRecord(kQcChunk, 0, data, 5);
    EXPECT_EQ(LengthField(chunk), 28 + 5);
    const std::uint8_t* got = nullptr;
    int size = 0;
    ASSERT_TRUE(RecordChunk(chunk.data(), LengthField(chunk), got, size));
    EXPECT_EQ(size, 5);
    EXPECT_EQ(got[4], 5);
}

TEST(QueryRecord, CatalogEntryCarriesNameVersionAndDigestApart) {
    SCatalogEntry c;
    c.SetName("dravmer");
    c.major = 5;
    c.minor = 44;
    c.SetSha256(std::string(64, 'a'));
    std::uint8_t raw[kCatalogEntrySize];
    EncodeCatalogEntry(c, raw);
    EXPECT_EQ(raw[384], 5);
    EXPECT_EQ(raw[385], 44);
    EXPECT_STREQ(reinterpret_cast<const char*>(raw + 128), "dravmer");
    const SCatalogEntry back = DecodeCatalogEntry(raw);
    EXPECT_EQ(back.Version(), 5 * 256 + 44);
    EXPECT_EQ(back.Sha256(), std::string(64, 'a'));
    // A digest field of the wrong length or with other characters is no digest.
    c.SetSha256("abc");
    EXPECT_FALSE(c.Sha256());
    c.SetSha256(std::string(63, 'a') + "g");
    EXPECT_FALSE(c.Sha256());
}

TEST(QueryRecord, StateOfReceivedBytes) {
    const auto r = BuildTextRecord(kQcLog, 0, "pc", "line");
    int length = 0;
    for (std::size_t cut = 1; cut < r.size(); ++cut) {
        EXPECT_EQ(QueryRecordState(r.data(), cut, kQueryBufferSize, length), ERecordState::kNeedMore) << cut;
    }
    EXPECT_EQ(QueryRecordState(r.data(), r.size(), kQueryBufferSize, length), ERecordState::kComplete);
    EXPECT_EQ(length, static_cast<int>(r.size()));

    auto bad = r;
    bad[3] = 'x';
    EXPECT_EQ(QueryRecordState(bad.data(), 5, kQueryBufferSize, length), ERecordState::kInvalid);
    auto huge = r;
    const std::int32_t tooLong = kQueryBufferSize + 1;
    std::memcpy(huge.data() + kQueryLengthAt, &tooLong, 4);
    EXPECT_EQ(QueryRecordState(huge.data(), huge.size(), kQueryBufferSize, length), ERecordState::kInvalid);
    const std::int32_t negative = -5;
    std::memcpy(huge.data() + kQueryLengthAt, &negative, 4);
    EXPECT_EQ(QueryRecordState(huge.data(), huge.size(), kQueryBufferSize, length), ERecordState::kInvalid);

    // A text that is not terminated inside its record is no text; a chunk length beyond its
    // record is no chunk.
    auto unterminated = r;
    unterminated.back() = 'x';
    EXPECT_FALSE(RecordText(unterminated.data(), static_cast<int>(unterminated.size())));
    auto lying = BuildChunkRecord(kQcChunk, 0, nullptr, 0);
    const std::int32_t claims = 100;
    std::memcpy(lying.data() + kQueryChunkLengthAt, &claims, 4);
    const std::uint8_t* data = nullptr;
    int size = 0;
    EXPECT_FALSE(RecordChunk(lying.data(), static_cast<int>(lying.size()), data, size));
}

TEST(QueryRecord, PlainFileNamesOnly) {
    for (const char* bad : {"", "..", ".", "../dravmer", "a/b", "/etc/passwd", ".hidden",
                            "a\\b", "a\nb"}) {
        EXPECT_FALSE(IsPlainFileName(bad)) << bad;
    }
    EXPECT_FALSE(IsPlainFileName(std::string(128, 'a')));
    EXPECT_TRUE(IsPlainFileName(std::string(127, 'a')));
    EXPECT_TRUE(IsPlainFileName("dravmer_05.44"));
}

TEST(QueryRecord, ResultTextsAndServerTimeCarry) {
    EXPECT_STREQ(QueryResultText(5), "Файл уже  существует.");
    EXPECT_STREQ(QueryResultText(22), "Ошибка приёма данных от сервера.");
    EXPECT_STREQ(QueryResultText(25), "Превышено максимальное количество файлов.");
    EXPECT_STREQ(QueryResultText(26), "");
    SServerTime t;
    t.minute = 10;
    t.second = 59;
    t.milliseconds = 900;
    const SServerTime later = AddReplyTime(t, 250);
    EXPECT_EQ(later.milliseconds, 150);
    EXPECT_EQ(later.second, 0);
    EXPECT_EQ(later.minute, 11);
    std::uint8_t raw[16];
    EncodeServerTime(later, raw);
    EXPECT_EQ(DecodeServerTime(raw).minute, 11);
}

TEST(Sha256, KnownDigests) {
    EXPECT_EQ(Sha256Hex("", 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc", 3), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(Sha256Hex(two.data(), two.size()),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // Fed in odd pieces, the same digest.
    const std::string million(1000000, 'a');
    CSha256 sha;
    for (std::size_t at = 0; at < million.size(); at += 997) {
        sha.Add(million.data() + at, std::min<std::size_t>(997, million.size() - at));
    }
    EXPECT_EQ(sha.FinishHex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
}  // namespace dravmer
