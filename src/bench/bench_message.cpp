#include "bench/bench_message.h"

#include "bench/bench_internal.h"

namespace dravmer {

using bench_detail::Format;

namespace {

// "\nПорт 1: <why>" for each port of the message.
std::string PortLines(const SBenchMessage& m, Language language) {
    std::string text;
    for (const auto& [port, state] : m.ports)
        text += Format(language == Language::English ? "\nPort %d: %s" : "\nПорт %d: %s", port + 1,
                       WordPortState(state, language).c_str());
    return text;
}

std::string Russian(const SBenchMessage& m) {
    const char* path = m.path.c_str();
    switch (m.code) {
        case BenchMessage::EmptyDeviceList:
            return "Список приборов пуст.";
        case BenchMessage::KyZero:
            return "Ky = 0: значения электродного сигнала не могут быть пересчитаны; задайте Ky "
                   "в настройках эксперимента.";
        case BenchMessage::PollPeriodNotAbove0:
            return "Период опроса должен быть больше 0 с.";
        case BenchMessage::FileNotOpened:
            return Format("Прибор №%u: файл эксперимента не открыт (код %d).", m.device, m.count);
        case BenchMessage::FileWriteFailed:
            return Format("Прибор №%u: ошибка записи в файл %s. Записи сохраняются в памяти, "
                          "запись в файл повторяется.",
                          m.device, path);
        case BenchMessage::RecordsRescued:
            return Format("Прибор №%u: записи не удалось записать в %s; все записи эксперимента "
                          "сохранены в %s.",
                          m.device, path, m.other.c_str());
        case BenchMessage::RecordsUnsaved:
            return Format("Прибор №%u: %d записей не удалось записать ни в %s, ни в папку "
                          "данных пользователя.",
                          m.device, m.count, path);
        case BenchMessage::PollStillEnding:
            return Format("Порт %d: опрос прошлого эксперимента ещё не завершился; эксперимент "
                          "не запущен. Повторите запуск позже.",
                          m.port + 1);
        case BenchMessage::PollNotStarted:
            return Format("Порт %d: поток опроса не запущен; эксперимент остановлен.", m.port + 1);
        case BenchMessage::SearchNoOpenPort:
            return "Поиск не выполнен: ни один порт не открыт. Список приборов не изменён." +
                   PortLines(m, Language::Russian);
        case BenchMessage::TooManyDevices:
            return Format("Найдено больше %d приборов: прибор №%u (порт %d) не внесён в список.",
                          m.count, m.device, m.port + 1);
    }
    return {};
}

std::string English(const SBenchMessage& m) {
    const char* path = m.path.c_str();
    switch (m.code) {
        case BenchMessage::EmptyDeviceList:
            return "The device list is empty.";
        case BenchMessage::KyZero:
            return "Ky = 0: electrode values cannot be scaled; set Ky in the experiment settings.";
        case BenchMessage::PollPeriodNotAbove0:
            return "The poll period must be above 0 s.";
        case BenchMessage::FileNotOpened:
            return Format("Device %u: the experiment file was not opened (code %d).", m.device,
                          m.count);
        case BenchMessage::FileWriteFailed:
            return Format("Device %u: cannot write to %s. The records are kept in memory and the "
                          "write is retried.",
                          m.device, path);
        case BenchMessage::RecordsRescued:
            return Format("Device %u: records could not be written to %s; every record of the "
                          "experiment was saved to %s.",
                          m.device, path, m.other.c_str());
        case BenchMessage::RecordsUnsaved:
            return Format("Device %u: %d records could be written neither to %s nor to the "
                          "user's data folder.",
                          m.device, m.count, path);
        case BenchMessage::PollStillEnding:
            return Format("Port %d: polling of the last experiment has not ended yet; the "
                          "experiment was not started. Try again later.",
                          m.port + 1);
        case BenchMessage::PollNotStarted:
            return Format("Port %d: the poll thread did not start; the experiment was stopped.",
                          m.port + 1);
        case BenchMessage::SearchNoOpenPort:
            return "Search not run: no port is open. The device list is unchanged." +
                   PortLines(m, Language::English);
        case BenchMessage::TooManyDevices:
            return Format("More than %d devices found: device %u (port %d) was not added to the "
                          "list.",
                          m.count, m.device, m.port + 1);
    }
    return {};
}

std::string ParamsRussian(const SParamsReport& e) {
    switch (e.step) {
        case ParamsStep::Device:
            return Format("%d/%d  Прибор № %u\r\n", e.index + 1, e.total, e.device);
        case ParamsStep::ReadingIdentity:
            return "     Чтение конфигурации прибора...";
        case ParamsStep::ReadingFlash:
            return "     Чтение FLASH прибора...";
        case ParamsStep::ReadingEeprom:
            return "     Чтение EEPROM прибора...";
        case ParamsStep::ReadOk:
            return "OK\r\n";
        case ParamsStep::ReadFailed:
            return "Ошибка\r\n";
        case ParamsStep::Firmware:
            return Format("     Версия прошивки %2.2d.%2.2d\r\n", e.major, e.minor);
        case ParamsStep::SavingFlash:
            return "     Сохранение файла FLASH\r\n";
        case ParamsStep::SavingEeprom:
            return "     Сохранение файла EEPROM\r\n";
        case ParamsStep::File:
            return Format("     %s...\r\n", e.path.c_str());
        case ParamsStep::FileSaved:
            return "     OK\r\n";
        case ParamsStep::FileFailed:
            return "     Ошибка !!!\r\n";
        case ParamsStep::End:
            return e.failed ? "\r\n\r\nПри выполнении операций были ошибки !!!\r\n"
                            : "\r\n\r\nВсе операции успешно завершены.";
    }
    return {};
}

std::string ParamsEnglish(const SParamsReport& e) {
    switch (e.step) {
        case ParamsStep::Device:
            return Format("%d/%d  Device %u\r\n", e.index + 1, e.total, e.device);
        case ParamsStep::ReadingIdentity:
            return "     Reading the device's configuration...";
        case ParamsStep::ReadingFlash:
            return "     Reading the device's FLASH...";
        case ParamsStep::ReadingEeprom:
            return "     Reading the device's EEPROM...";
        case ParamsStep::ReadOk:
            return "OK\r\n";
        case ParamsStep::ReadFailed:
            return "Error\r\n";
        case ParamsStep::Firmware:
            return Format("     Firmware version %2.2d.%2.2d\r\n", e.major, e.minor);
        case ParamsStep::SavingFlash:
            return "     Saving the FLASH file\r\n";
        case ParamsStep::SavingEeprom:
            return "     Saving the EEPROM file\r\n";
        case ParamsStep::File:
            return Format("     %s...\r\n", e.path.c_str());
        case ParamsStep::FileSaved:
            return "     OK\r\n";
        case ParamsStep::FileFailed:
            return "     Error !!!\r\n";
        case ParamsStep::End:
            return e.failed ? "\r\n\r\nSome operations failed !!!\r\n"
                            : "\r\n\r\nAll operations completed successfully.";
    }
    return {};
}

}  // namespace

std::string WordSearchProgress(int port, int code, std::uint32_t value, int found,
                               Language language) {
    const bool en = language == Language::English;
    if (port < 0)
        return Format(en ? "%d devices found in total." : "Всего найдено %d приборов.", found);
    if (code == 1)
        return Format(en ? "KESP found: %u   (total: %d)" : "Найден KESP: №%u   (всего: %d)", value,
                      found);
    // Only the codes that report a device count as found; a failed transit probe or an
    // unreadable transit device carries a result code, not an address.
    if (code == 3 || code == 4)
        return Format(en ? "Found: %u (total: %d)" : "Найден: №%u (всего: %d)", value, found);
    return {};
}

std::string WordParamsReport(const SParamsReport& entry, Language language) {
    return language == Language::English ? ParamsEnglish(entry) : ParamsRussian(entry);
}

std::string WordMessage(const SBenchMessage& message, Language language) {
    return language == Language::English ? English(message) : Russian(message);
}

}  // namespace dravmer
