#include "bench/bench_message.h"

#include <gtest/gtest.h>

namespace dravmer {
namespace {

constexpr BenchMessage kAll[] = {
    BenchMessage::EmptyDeviceList,  BenchMessage::KyZero,          BenchMessage::PollPeriodNotAbove0,
    BenchMessage::FileNotOpened,    BenchMessage::FileWriteFailed, BenchMessage::RecordsRescued,
    BenchMessage::RecordsUnsaved,   BenchMessage::PollStillEnding, BenchMessage::PollNotStarted,
    BenchMessage::SearchNoOpenPort, BenchMessage::TooManyDevices,
};

bool HasCyrillic(const std::string& s) {
    // Cyrillic letters are U+0400..U+04FF: UTF-8 lead bytes 0xD0..0xD3.
    for (unsigned char c : s)
        if (c >= 0xD0 && c <= 0xD3) return true;
    return false;
}

TEST(BenchMessageWords, EveryCodeIsWordedInBothLanguagesWithItsValues) {
    for (BenchMessage code : kAll) {
        SBenchMessage m{code};
        m.device = 100123;
        m.port = 2;
        m.count = 7;
        m.path = "/data/x.adc";
        m.other = "/rescue/x.adc";
        const std::string ru = WordMessage(m, Language::Russian);
        const std::string en = WordMessage(m, Language::English);
        EXPECT_TRUE(HasCyrillic(ru)) << static_cast<int>(code) << ": " << ru;
        EXPECT_FALSE(HasCyrillic(en)) << static_cast<int>(code) << ": " << en;
        EXPECT_NE(ru, en);
        // A value a message carries appears in both wordings.
        for (const std::string* text : {&ru, &en}) {
            if (code == BenchMessage::FileNotOpened || code == BenchMessage::FileWriteFailed ||
                code == BenchMessage::RecordsRescued || code == BenchMessage::RecordsUnsaved ||
                code == BenchMessage::TooManyDevices) {
                EXPECT_NE(text->find("100123"), std::string::npos) << *text;
            }
            if (code == BenchMessage::PollStillEnding || code == BenchMessage::PollNotStarted ||
                code == BenchMessage::TooManyDevices) {
                EXPECT_NE(text->find(" 3"), std::string::npos) << "ports are worded from 1: " << *text;
            }
            if (code == BenchMessage::RecordsRescued) {
                EXPECT_NE(text->find("/rescue/x.adc"), std::string::npos) << *text;
            }
        }
    }
}

TEST(BenchMessageWords, RussianIsTheProgramsOwnWording) {
    EXPECT_EQ(WordMessage({BenchMessage::EmptyDeviceList}), "Список приборов пуст.");
    SBenchMessage m{BenchMessage::FileNotOpened};
    m.device = 5001;
    m.count = -3;
    EXPECT_EQ(WordMessage(m), "Прибор №5001: файл эксперимента не открыт (код -3).");
}

}  // namespace
}  // namespace dravmer
