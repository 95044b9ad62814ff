// run: an experiment with the active list, a live line per port, and each device's records,
// received share and statistics at the end.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <ostream>
#include <thread>

#include "archive/archive_io.h"
#include "cli/cli_parts.h"
#include "cli/cli_options.h"
#include "cli/commands/run_stream.h"
#include "cli/session.h"
#include "files/stats_report.h"
#include "platform/paths.h"

namespace dravmer::cli {
namespace {

class CRunPrinter : public IBenchListener {
public:
    explicit CRunPrinter(const CliContext& ctx) : m_ctx(ctx), m_err(ctx.err) {}
    void OnWaitingForDevice(std::size_t, std::uint32_t address) override {
        m_err << m_ctx.Sayf("Waiting for device %u to come on (Ctrl-C cancels the start)",
                            "Ожидание включения прибора № %u (Ctrl-C отменяет запуск)", address)
              << std::endl;
    }
    void OnDeviceAnswered(std::size_t, std::uint32_t address) override {
        m_err << m_ctx.Sayf("Device %u answers.", "Прибор № %u на связи.", address) << std::endl;
    }
    void OnPortNotOpen(int port, const SPortState& state) override {
        m_err << m_ctx.Sayf("Port %d is not open: %s The port is being opened again.",
                            "Порт %d не открыт: %s Порт открывается повторно.", port + 1,
                            WordPortState(state, m_ctx.language).c_str())
              << std::endl;
    }
    void OnPortReopened(int port) override {
        m_err << m_ctx.Sayf("Port %d is open again.", "Порт %d снова открыт.", port + 1)
              << std::endl;
    }
    void OnError(const SBenchMessage& message) override {
        m_err << WordMessage(message, m_ctx.language) << std::endl;
    }
    void OnSearchProgress(int port, int code, std::uint32_t value, int found) override {
        const std::string text = WordSearchProgress(port, code, value, found, m_ctx.language);
        if (!text.empty()) m_err << text << std::endl;
    }

private:
    const CliContext& m_ctx;
    std::ostream& m_err;
};

std::string PortLine(const CliContext& ctx, CBench& bench, int port) {
    const auto& active = bench.Settings().devices.Active();
    int devices = 0;
    long records = 0;
    unsigned long errors = 0;
    for (std::size_t i = 0; i < active.size() && i < bench.StoreCount(); ++i) {
        if (active[i].port != port) continue;
        ++devices;
        records += bench.Data(i).GetCount();
        SLinkDevStat stat;
        bench.Link(port).GetDeviceStat(active[i].address, stat);
        errors += stat.w[SLinkDevStat::kErrors];
    }
    return ctx.Sayf("port %d: %d devices, %ld records, %lu errors, load %3.0f%%",
                    "порт %d: приборов %d, записей %ld, ошибок %lu, загрузка %3.0f%%", port + 1,
                    devices, records, errors, bench.PortLoad(port));
}

struct SRunOptions {
    double seconds = -1;      // until Ctrl-C when not given
    double waitDevice = -1;   // the settings' wait when not given
    std::string format, out;
    bool noFiles = false, json = false, demo = false;
    SRunStreamOptions stream;
    std::string streamTarget;  // --stream's value: nothing or "-"
    std::size_t streamCount = 0;
};

int RunRun(CliContext& ctx, const SRunOptions& o) {
    const double runSeconds = o.seconds, waitSeconds = o.waitDevice;
    const bool hasFormat = !o.format.empty(), hasOut = !o.out.empty();
    const std::string& format = o.format;
    const std::string& out = o.out;
    const bool noFiles = o.noFiles, json = o.json, demo = o.demo || ctx.demo;

    InstallInterruptHandler();
    ClearInterrupt();
    CSession session;
    if (!session.Open(ctx, demo)) return kExitFailure;
    CBench& bench = session.Bench();
    CRunPrinter printer(ctx);
    CRunStreams streams(bench, &printer);
    std::string streamError;
    SRunStreamOptions streamOptions = o.stream;
    streamOptions.ndjson = o.streamCount > 0;
    if (!streams.Start(ctx, streamOptions, bench.Store(), streamError)) {
        ctx.err << "dravmer-cli run: " << streamError << "\n";
        return kExitFailure;
    }
    bench.SetListener(streams.Listener());
    // With the records on standard output, everything else goes to standard error.
    std::ostream& summary = streamOptions.ndjson ? ctx.err : ctx.out;
    if (demo && bench.Settings().devices.Active().empty()) bench.Search();

    auto& settings = bench.Settings();
    if (hasFormat) settings.textFormat = format == "txt";
    if (hasOut) {
        if (!EnsureDir(out)) {
            ctx.err << "dravmer-cli run: "
                    << ctx.Sayf("cannot create the folder %s", "не удалось создать папку %s",
                                out.c_str())
                    << "\n";
            return kExitFailure;
        }
        settings.savePath = out.back() == '/' ? out : out + "/";
    }
    if (noFiles) settings.writeToFile = false;

    const std::string askedFolder = settings.savePath;
    // The start may wait for a silent device: it runs beside this thread, which turns Ctrl-C
    // into a cancelled start.
    StartResult result = StartResult::Cancelled;
    std::atomic<bool> startDone{false};
    std::thread starter([&] {
        SStartOptions options;
        options.waitDeviceSeconds = waitSeconds;
        result = bench.Start(options);
        startDone = true;
    });
    while (!startDone) {
        if (Interrupted()) bench.CancelStart();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    starter.join();
    if (result != StartResult::Started) {
        const char* why =
            result == StartResult::EmptyList
                ? ctx.Say("the device list is empty", "список приборов пуст")
            : result == StartResult::Cancelled
                ? (Interrupted() ? ctx.Say("the start was cancelled", "запуск отменён")
                                 : ctx.Say("a device did not answer within --wait-device",
                                           "прибор не ответил за время --wait-device"))
            : result == StartResult::BadSettings
                ? ctx.Say("the settings do not allow a start", "настройки не позволяют запуск")
                : ctx.Say("the bench is busy", "стенд занят");
        ctx.err << "dravmer-cli run: " << ctx.Say("no experiment: ", "эксперимент не запущен: ")
                << why << "\n";
        return kExitFailure;
    }
    ctx.err << ctx.Sayf("Experiment %d started: %s", "Эксперимент %d запущен: %s",
                        bench.ExperimentNumber(), bench.Title().c_str())
            << "\n";

    const bool live = isatty(STDERR_FILENO);
    auto started = std::chrono::steady_clock::now();
    auto nextLine = started;
    while (!Interrupted()) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (runSeconds > 0 && elapsed >= runSeconds) break;
        streams.PrintMessages(ctx.err);
        if (std::chrono::steady_clock::now() >= nextLine) {
            std::string lines;
            for (int p = 0; p < kPortCount; ++p)
                if (bench.Port(p).Settings().useLink) lines += PortLine(ctx, bench, p) + "\n";
            ctx.err << (live ? "\x1b[2K" : "") << "[" << static_cast<int>(elapsed)
                    << ctx.Say(" s]\n", " с]\n") << lines << std::flush;
            nextLine += std::chrono::seconds(live ? 1 : 5);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Told to end (SIGTERM, as at logout): the stream's stop says the run was interrupted.
    if (Terminated()) streams.MarkInterrupted();
    bench.Stop();
    ctx.err << ctx.Sayf("Experiment stopped (stop took %d ms).",
                        "Эксперимент остановлен (остановка заняла %d мс).",
                        static_cast<int>(bench.StopSeconds() * 1000))
            << "\n";
    bench.SetListener(nullptr);
    const bool streamsWhole = streams.Finish(ctx.err);
    // With Archive/ArchiveOnStop on, the experiment goes into the archive as the window does it.
    bool archiveFailed = false;
    if (bench.Store().GetInt(kArchiveSection, kArchiveOnStopKey, 0) != 0) {
        std::int64_t id = 0;
        std::string message;
        const int code = ArchiveBenchOnStop(bench, id, message, ctx.language);
        archiveFailed = code != kArchiveOk && code != kArchiveDuplicate && code != kArchiveNoData;
        ctx.err << (archiveFailed
                        ? ctx.Say("dravmer-cli run: archive: ", "dravmer-cli run: архив: ")
                        : ctx.Say("Archive: ", "Архив: "))
                << message << "\n";
    }

    const auto& active = settings.devices.Active();
    const std::uint32_t experimentSeconds = bench.ExperimentSeconds();
    long missedTotal = 0;
    int notWhereAsked = 0;
    if (settings.writeToFile && settings.savePath != askedFolder) {
        // The files went to the user's data folder because the save folder could not be made.
        ctx.err << "dravmer-cli run: "
                << ctx.Sayf("the save folder %s could not be created; the files were written to %s",
                            "папку %s не удалось создать; файлы записаны в %s", askedFolder.c_str(),
                            settings.savePath.c_str())
                << "\n";
        ++notWhereAsked;
    }
    nlohmann::json report = nlohmann::json::array();
    for (std::size_t i = 0; i < active.size(); ++i) {
        CDeviceData& data = bench.Data(i);
        CExperimentFiles& files = bench.Files(i);
        data.CalcAll();
        SLinkDevStat stat;
        bench.Link(active[i].port).GetDeviceStat(active[i].address, stat);
        std::string file = files.FilePath();
        const std::string rescued = files.RescuedPath();
        const int unsaved = files.UnsavedRecords();
        std::error_code ec;
        if (!file.empty() && !std::filesystem::exists(file, ec)) file.clear();  // never created
        if (!rescued.empty() || unsaved > 0) ++notWhereAsked;
        // Seconds of the experiment without a record of this device, an outage at the end too.
        const long span = std::max<long>(experimentSeconds, data.GetCount() ? data.GetLastTime() + 1 : 0);
        const long missed = std::max<long>(0, span - data.GetCount());
        missedTotal += missed;
        const double received = data.GetReceivedPercent(experimentSeconds);
        if (json) {
            nlohmann::json d = DeviceStatsJson(data, active[i].address);
            nlohmann::json j;
            j["address"] = active[i].address;
            j["port"] = active[i].port;
            j["records"] = data.GetCount();
            j["received_percent"] = received;
            j["missed_records"] = missed;
            j["file"] = file.empty() ? nlohmann::json(nullptr) : nlohmann::json(file);
            j["rescued_file"] = rescued.empty() ? nlohmann::json(nullptr) : nlohmann::json(rescued);
            j["unsaved_records"] = unsaved;
            j["link"] = LinkStatJson(stat);
            j["stats"] = d["stats"];
            report.push_back(j);
        } else {
            summary << ctx.Sayf("Device %u (port %d): %d records, %.1f%% received",
                                "Прибор № %u (порт %d): записей %d, принято %.1f%%",
                                active[i].address, active[i].port + 1, data.GetCount(), received);
            if (missed > 0)
                summary << ctx.Sayf(", %ld of %ld seconds missed", ", пропущено %ld с из %ld",
                                    missed, span);
            if (!rescued.empty()) {
                summary << ctx.Sayf(", all records saved to %s", ", все записи сохранены в %s",
                                    rescued.c_str());
                if (!file.empty())
                    summary << ctx.Sayf(" (the file %s could not take them)",
                                        " (в файл %s их записать не удалось)", file.c_str());
            } else if (!file.empty()) {
                summary << ctx.Sayf(", file %s", ", файл %s", file.c_str());
            }
            if (unsaved > 0)
                summary << ctx.Sayf(", %d records could not be written",
                                    ", записей, которые не удалось записать: %d", unsaved);
            summary << "\n";
            std::array<bool, CMeasRecord::kParamCount> columns{};
            std::array<int, CMeasRecord::kParamCount> decimals{};
            for (int p = 0; p < CMeasRecord::kParamCount; ++p) {
                columns[static_cast<size_t>(p)] = settings.ToFile(p);
                decimals[static_cast<size_t>(p)] = settings.TableDecimals(p);
            }
            std::string text = StatisticsText(data, columns, decimals, ctx.language);
            for (auto& c : text)
                if (c == '\r') c = ' ';
            summary << text << "\n";
        }
    }
    if (json) summary << report.dump(2) << "\n";
    if (notWhereAsked > 0)
        ctx.err << "dravmer-cli run: "
                << ctx.Sayf("records of %d device(s) could not be written where asked",
                            "записи приборов (%d) не удалось записать туда, куда просили",
                            notWhereAsked)
                << "\n";
    if (missedTotal > 0)
        ctx.err << "dravmer-cli run: "
                << ctx.Sayf("%ld records were missed (seconds of the experiment without a record)",
                            "пропущено записей: %ld (секунды эксперимента без записи)", missedTotal)
                << "\n";
    const bool whole = notWhereAsked == 0 && missedTotal == 0 && !archiveFailed && streamsWhole;
    return whole ? kExitOk : kExitIncomplete;
}

CommandRun DefineRun(CLI::App& app, Language language) {
    const Words w(language);
    auto o = std::make_shared<SRunOptions>();
    const char* seconds = w("seconds", "секунд");
    app.add_option("--seconds", o->seconds,
                   w("stop after this many seconds (else on Ctrl-C)",
                     "остановить через столько секунд (иначе по Ctrl-C)"))
        ->check(NumberAbove(language, 0, false, seconds));
    app.add_option("--format", o->format,
                   w("experiment files as .adc or .txt (else the settings')",
                     "файлы эксперимента .adc или .txt (иначе как в настройках)"))
        ->check(OneOf(language, {"adc", "txt"}));
    app.add_option("--out", o->out,
                   w("folder for the experiment files (made when missing)",
                     "папка для файлов эксперимента (создаётся, если её нет)"))
        ->check(NotEmpty(language, w("a folder", "папка")))
        ->type_name("DIR");
    app.add_flag("--no-files", o->noFiles,
                 w("write no experiment files", "не записывать файлы эксперимента"));
    app.add_option("--wait-device", o->waitDevice,
                   w("seconds to wait for a silent device at the start (0: do not wait)",
                     "сколько секунд ждать молчащий прибор в начале (0: не ждать)"))
        ->check(NumberAbove(language, 0, true, seconds));
    app.add_flag("--json", o->json,
                 w("the summary as a JSON array, one object per device",
                   "итог массивом JSON, по объекту на прибор"));
    app.add_flag("--demo", o->demo, w("the simulated bench", "модель стенда"));
    CLI::Option* stream =
        app.add_option("--stream", o->streamTarget,
                       w("each record as it arrives, one JSON object a line on standard output "
                         "('-', which may be given; the summary goes to standard error)",
                         "каждая запись по приходе, объект JSON на строку в стандартный вывод "
                         "('-' можно указать; итог идёт в стандартный поток ошибок)"))
            ->expected(0, 1)
            ->check(CLI::Validator(
                [language](std::string& target) { return CheckStreamTargetText(target, language); },
                "-"))
            ->type_name("[-]");
    app.add_option("--mqtt", o->stream.mqttUrl,
                   w("publish each record to this MQTT broker: mqtt://HOST[:PORT]",
                     "публиковать каждую запись на этом брокере MQTT: mqtt://HOST[:PORT]"))
        ->check(CLI::Validator(
            [language](std::string& url) { return CheckMqttUrlText(url, language); }, "URL"))
        ->type_name("URL");
    app.add_option("--mqtt-topic", o->stream.mqttTopic,
                   w("topic prefix of the records (PREFIX/<address>/record) and the experiment's "
                     "start and stop (PREFIX/experiment); default dravmer/<host name>",
                     "префикс тем записей (PREFIX/<адрес>/record) и начала и конца эксперимента "
                     "(PREFIX/experiment); по умолчанию dravmer/<имя компьютера>"))
        ->check(CLI::Validator(
            [language](std::string& topic) { return CheckMqttTopicText(topic, language); },
            "PREFIX"))
        ->type_name("PREFIX");
    app.add_option("--mqtt-password-file", o->stream.mqttPasswordFile,
                   w("the broker's password: the first line of this file (else the setting "
                     "Stream/MqttPasswordFile, else DRAVMER_MQTT_PASSWORD); the user name comes "
                     "from the address or Stream/MqttUser",
                     "пароль брокера: первая строка этого файла (иначе настройка "
                     "Stream/MqttPasswordFile, иначе DRAVMER_MQTT_PASSWORD); имя пользователя "
                     "берётся из адреса или Stream/MqttUser"))
        ->check(NotEmpty(language, w("a file", "файл")))
        ->type_name("FILE");
    return [o, stream](CliContext& ctx) {
        o->streamCount = stream->count();
        return RunRun(ctx, *o);
    };
}

}  // namespace

DRAVMER_CLI_COMMAND("run",
                    "run [--seconds N] [--format adc|txt] [--out DIR] [--no-files] "
                    "[--wait-device SECONDS] [--json] [--stream [-]] [--mqtt URL [--mqtt-topic "
                    "PREFIX] [--mqtt-password-file FILE]] [--demo]",
                    "run an experiment with the active device list until N seconds or Ctrl-C",
                    "провести эксперимент с активным списком приборов до N секунд или Ctrl-C",
                    DefineRun);

}  // namespace dravmer::cli
