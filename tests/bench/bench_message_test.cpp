#include "bench/bench_message.h"

#include <gtest/gtest.h>

#include <vector>

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

TEST(BenchMessageWords, PortsWithoutAnOpenLineAreListedInTheMessagesLanguage) {
    SBenchMessage m{BenchMessage::SearchNoOpenPort};
    SPortState lost;
    lost.openResult = OpenResult::LocalFailed;
    lost.detail = {SOpenDetail::Why::LineDropped, "/dev/ttyUSB1", {}};
    m.ports = {{0, SPortState{}}, {2, lost}};
    EXPECT_EQ(WordMessage(m, Language::English),
              "Search not run: no port is open. The device list is unchanged.\n"
              "Port 1: The port is closed.\n"
              "Port 3: The local COM port could not be opened. (/dev/ttyUSB1: line drop)");
    EXPECT_EQ(WordMessage(m, Language::Russian),
              "Поиск не выполнен: ни один порт не открыт. Список приборов не изменён.\n"
              "Порт 1: Порт закрыт.\n"
              "Порт 3: Ошибка инициализации локального СОМ порта. (/dev/ttyUSB1: линия оборвана)");
}

TEST(BenchMessageWords, SearchProgressSaysOnlyWhatFindsADevice) {
    EXPECT_EQ(WordSearchProgress(0, 3, 100001, 1, Language::Russian), "Найден: №100001 (всего: 1)");
    EXPECT_EQ(WordSearchProgress(0, 4, 100001, 2, Language::English), "Found: 100001 (total: 2)");
    EXPECT_EQ(WordSearchProgress(1, 1, 900002, 2, Language::Russian),
              "Найден KESP: №900002   (всего: 2)");
    EXPECT_EQ(WordSearchProgress(1, 1, 900002, 2, Language::English),
              "KESP found: 900002   (total: 2)");
    for (int code : {0, 2, 77}) {
        EXPECT_EQ(WordSearchProgress(0, code, 5, 1, Language::Russian), "") << code;
        EXPECT_EQ(WordSearchProgress(0, code, 5, 1, Language::English), "") << code;
    }
    EXPECT_EQ(WordSearchProgress(-1, 0, 0, 28, Language::Russian), "Всего найдено 28 приборов.");
    EXPECT_EQ(WordSearchProgress(-1, 0, 0, 28, Language::English), "28 devices found in total.");
}

TEST(BenchMessageWords, ParameterSavingReportInBothLanguages) {
    std::vector<SParamsReport> steps;
    SParamsReport device(ParamsStep::Device);
    device.index = 0;
    device.total = 2;
    device.device = 5001;
    steps.push_back(device);
    steps.push_back(ParamsStep::ReadingIdentity);
    steps.push_back(ParamsStep::ReadOk);
    SParamsReport firmware(ParamsStep::Firmware);
    firmware.major = 5;
    firmware.minor = 3;
    steps.push_back(firmware);
    steps.push_back(ParamsStep::ReadingFlash);
    steps.push_back(ParamsStep::ReadFailed);
    SParamsReport end(ParamsStep::End);
    end.failed = true;
    steps.push_back(end);
    std::string ru, en;
    for (const SParamsReport& s : steps) {
        ru += WordParamsReport(s, Language::Russian);
        en += WordParamsReport(s, Language::English);
    }
    EXPECT_EQ(ru,
              "1/2  Прибор № 5001\r\n     Чтение конфигурации прибора...OK\r\n"
              "     Версия прошивки 05.03\r\n     Чтение FLASH прибора...Ошибка\r\n"
              "\r\n\r\nПри выполнении операций были ошибки !!!\r\n");
    EXPECT_EQ(en,
              "1/2  Device 5001\r\n     Reading the device's configuration...OK\r\n"
              "     Firmware version 05.03\r\n     Reading the device's FLASH...Error\r\n"
              "\r\n\r\nSome operations failed !!!\r\n");
    for (ParamsStep step : {ParamsStep::ReadingEeprom, ParamsStep::SavingFlash,
                            ParamsStep::SavingEeprom, ParamsStep::FileFailed, ParamsStep::End})
        EXPECT_FALSE(HasCyrillic(WordParamsReport(step, Language::English)))
            << static_cast<int>(step);
}

}  // namespace
}  // namespace dravmer
