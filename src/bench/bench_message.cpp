#include "bench/bench_message.h"

#include "bench/bench_internal.h"

namespace dravmer {

using bench_detail::Format;

namespace {

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
                   m.detail;
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
            return "Search not run: no port is open. The device list is unchanged." + m.detail;
        case BenchMessage::TooManyDevices:
            return Format("More than %d devices found: device %u (port %d) was not added to the "
                          "list.",
                          m.count, m.device, m.port + 1);
    }
    return {};
}

}  // namespace

std::string WordMessage(const SBenchMessage& message, Language language) {
    return language == Language::English ? English(message) : Russian(message);
}

}  // namespace dravmer
