// Writes the starting inputs of every fuzz target into a corpus folder (fuzz/corpus by default):
// real replies of the simulated firmware for each device command, COM-server messages, file-server
// records, small experiment files written by the bench's own writer, stored settings and simulator
// commands.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "files/file_format.h"
#include "fuzz/fuzz_port.h"
#include "link/com_server_message.h"
#include "link/frame.h"
#include "link/link_r307.h"
#include "measure/device_data.h"
#include "sim/sim_line.h"
#include "update/query_record.h"

namespace {

using namespace dravmer;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::string g_root = "fuzz/corpus";

void Put(const std::string& target, const std::string& name, const Bytes& bytes) {
    const fs::path dir = fs::path(g_root) / target;
    fs::create_directories(dir);
    std::FILE* f = std::fopen((dir / name).c_str(), "wb");
    if (!f) {
        std::perror((dir / name).c_str());
        std::exit(1);
    }
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}


Bytes ReadFile(const std::string& path) {
    Bytes out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    std::uint8_t buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) {
        out.insert(out.end(), buffer, buffer + n);
    }
    std::fclose(f);
    return out;
}

// A port in front of a simulated line that keeps every request and reply.
class CRecordingPort : public ILinkPort {
public:
    explicit CRecordingPort(sim::CSimLine& line) : m_line(line) {}
    bool IsOpen() const override { return true; }
    void Purge() override {}
    bool Write(const std::uint8_t* data, int length) override {
        const Bytes request(data, data + length);
        requests.insert(requests.end(), request.begin(), request.end());
        m_reply = m_line.Exchange(request);
        Bytes record = {static_cast<std::uint8_t>(m_reply.size()),
                        static_cast<std::uint8_t>(m_reply.size() >> 8)};
        // Replies are marked for sealing, so that mutated content keeps a good CRC.
        record[1] |= m_reply.empty() ? fuzz::CFuzzReplyPort::kSilent >> 8
                                     : fuzz::CFuzzReplyPort::kSeal >> 8;
        replies.insert(replies.end(), record.begin(), record.end());
        replies.insert(replies.end(), m_reply.begin(), m_reply.end());
        return true;
    }
    int ReadReply(std::uint8_t* buffer, int& length) override {
        const int count = static_cast<int>(m_reply.size());
        if (count == 0 || count > length) {
            length = count;
            return -1;
        }
        std::memcpy(buffer, m_reply.data(), m_reply.size());
        length = count;
        m_reply.clear();
        return 0;
    }
    Bytes requests;
    Bytes replies;

private:
    sim::CSimLine& m_line;
    Bytes m_reply;
};

void LinkSeeds(Bytes& allRequests) {
    struct SCase {
        const char* name;
        std::uint8_t command, a, b;
    };
    const SCase cases[] = {
        {"address", 0, 0, 0},    {"identity", 1, 0, 0},   {"transit_identity", 2, 0, 0},
        {"mark_found", 3, 0, 0}, {"reset", 4, 0, 0},      {"parameters", 5, 0, 32},
        {"current", 6, 0, 0},    {"adc0", 7, 0, 0},       {"adc1", 7, 1, 0},
        {"adc2", 7, 2, 0},       {"adc3", 7, 3, 0},       {"resistances", 8, 0, 0},
        {"eeprom_block", 9, 0, 59}, {"flash_block", 10, 4, 59}, {"eeprom", 11, 0, 0},
        {"slot", 13, 0, 0},      {"search", 14, 0, 0},
    };
    for (int transit = 0; transit < 2; ++transit) {
        for (const SCase& c : cases) {
            if (c.command == 2 && !transit) continue;
            sim::SLineConfig config;
            if (transit || c.command == 14) config.transitAddress = transit ? 4100001 : 0;
            sim::CSimLine line(config);
            line.AddDevices(c.command == 14 ? 3 : 1, 4000001, 1);
            line.Tick();
            CRecordingPort port(line);
            CLinkR307 link("seed");
            link.AttachPort(&port);
            if (transit) link.SetTransit(4100001);
            std::uint8_t identity[kIdentitySize];
            std::uint8_t buffer[kDeviceImageSize];
            std::uint32_t value = 0;
            SCurrentValues current;
            SResistances resistances;
            SSearchResult search;
            switch (c.command) {
                case 0: link.ReadAddress(4000001, value); break;
                case 1: link.ReadIdentity(4000001, identity); break;
                case 2: link.ReadTransitIdentity(identity); break;
                case 3: link.MarkFound(4000001); break;
                case 4: link.ResetSearch(); break;
                case 5: link.ReadParameters(4000001, c.a, c.b, buffer); break;
                case 6: link.ReadCurrentValues(4000001, current); break;
                case 7: link.ReadAdc(4000001, c.a, buffer); break;
                case 8: link.ReadResistances(4000001, resistances); break;
                case 9: link.ReadEepromBlock(4000001, c.a * 4, c.b, buffer); break;
                case 10: link.ReadFlashBlock(4000001, c.a * 4, c.b, buffer); break;
                case 11: link.ReadEeprom(4000001, buffer); break;
                case 13: link.SearchSlot(1, 0, value); break;
                default: link.SearchDevices(search, false); break;
            }
            Bytes seed = {c.command, static_cast<std::uint8_t>(transit), c.a, c.b};
            seed.insert(seed.end(), port.replies.begin(), port.replies.end());
            Put("link_reply", std::string(transit ? "transit_" : "") + c.name, seed);
            if (allRequests.size() < 4096) {
                allRequests.insert(allRequests.end(), port.requests.begin(),
                                   port.requests.end());
            }
        }
    }
}

void ComServerSeeds() {
    Bytes frame(16, 0);
    PutLe32(frame.data(), 4000001);
    frame[4] = 2;
    frame[5] = 1;
    SealFrame(frame.data());
    SComServerMessage request;
    request.type = kCsFrame;
    request.data = frame;
    Put("com_server", "frame", BuildComServerMessage(request));
    request.type = kCsPollFrame;
    Put("com_server", "poll_frame", BuildComServerMessage(request));
    SComServerMessage hello;
    hello.type = kCsHello;
    Put("com_server", "hello", BuildComServerMessage(hello));
    Put("com_server", "connect", BuildComServerConnect(0, "bench-pc", 115200));
    SComServerMessage clients;
    clients.type = kCsClients;
    clients.clients = 2;
    clients.load = 12.5f;
    clients.data.assign(256, 0);
    std::memcpy(clients.data.data(), "bench-pc", 8);
    std::memcpy(clients.data.data() + 128, "other", 5);
    Put("com_server", "clients", BuildComServerMessage(clients));
    SComServerMessage status;
    status.type = kCsStatus;
    status.clients = 1;
    Bytes both = BuildComServerMessage(status);
    const Bytes second = BuildComServerMessage(request);
    both.insert(both.end(), second.begin(), second.end());
    Put("com_server", "status_and_frame", both);
}

// The file server's records, each preceded by the byte that picks uploads and the read size.
void FileServerSeeds() {
    auto put = [](const char* name, std::uint8_t mode, const std::vector<Bytes>& records) {
        Bytes all{mode};
        for (const Bytes& r : records) all.insert(all.end(), r.begin(), r.end());
        Put("file_server", name, all);
    };
    const Bytes describe = BuildTextRecord(kQcDescribe, 0, "bench-pc", "dravmer");
    const Bytes chunk = BuildBareRecord(kQcChunk, 0, {});
    put("download", 0x20, {describe, chunk, chunk, chunk});
    put("log_and_time", 0x02, {BuildTextRecord(kQcLog, 0, "bench-pc", "Check version: error=1."),
                               BuildBareRecord(kQcServerTime, 0, "bench-pc")});
    put("lists", 0x40, {BuildBareRecord(kQcListFiles, 0, "bench-pc"),
                        BuildBareRecord(kQcListCatalog, 0, "bench-pc")});
    std::uint8_t entry[kFileEntrySize];
    EncodeFileEntry(SFileEntry{"uploaded", 5, 0, 0}, entry);
    const std::uint8_t content[5] = {'h', 'e', 'l', 'l', 'o'};
    put("upload", 0x01, {BuildPayloadRecord(kQcUploadEntry, 0, "bench-pc", entry, sizeof entry),
                         BuildChunkRecord(kQcUploadChunk, 0, content, 5),
                         BuildTextRecord(kQcDeleteFile, 0, "bench-pc", "uploaded")});
    SCatalogEntry catalog;
    catalog.SetName("tool");
    catalog.major = 2;
    std::uint8_t raw[kCatalogEntrySize];
    EncodeCatalogEntry(catalog, raw);
    put("catalog", 0x03, {BuildPayloadRecord(kQcUpdateCatalog, 0, "bench-pc", raw, sizeof raw),
                          BuildTextRecord(kQcFileExists, 0, "bench-pc", "../tool")});
}

void FileSeeds() {
    CDeviceData store;
    for (int t = 0; t < 5; ++t) {
        CMeasRecord r;
        for (int i = 3; i < CMeasRecord::kParamCount; ++i) SetParam(r, i, 100.0 + i + t * 0.25);
        r.time = static_cast<std::uint32_t>(t);
        r.cycle = static_cast<std::uint8_t>(t + 7);
        r.state = 0xA3F1;
        r.kg = 16;
        r.kr = 1;
        store.AddSample(r);
    }
    SFileOptions options;
    const std::string dir = (fs::temp_directory_path() / "dravmer-fuzz-seeds").string();
    fs::create_directories(dir);
    for (int text = 0; text < 2; ++text) {
        const std::string path = dir + (text ? "/seed.txt" : "/seed.adc");
        if (SaveStoreAs(store, path, text, options.Columns(), options) != 0) std::exit(1);
        const Bytes file = ReadFile(path);
        Bytes seed = {static_cast<std::uint8_t>(text)};
        seed.insert(seed.end(), file.begin(), file.end());
        Put("experiment_file", text ? "small.txt" : "small.adc", seed);
        Bytes scan = {static_cast<std::uint8_t>(text)};
        const std::string name = std::string("261206-007-000101") + (text ? ".txt" : ".adc");
        scan.insert(scan.end(), name.begin(), name.end());
        scan.insert(scan.end(), file.begin(), file.end());
        Put("experiment_scan", text ? "small.txt" : "small.adc", scan);
    }
    // Two columns only.
    const std::vector<int> two = {0, 5};
    const std::string path = dir + "/two.adc";
    if (SaveStoreAs(store, path, false, two, options) == 0) {
        Bytes seed = {0};
        const Bytes file = ReadFile(path);
        seed.insert(seed.end(), file.begin(), file.end());
        Put("experiment_file", "two_columns.adc", seed);
    }
    fs::remove_all(dir);
}

void SettingsSeeds() {
    const std::string values =
        "4000001;4000002;4000003;\n0;1;3;\n1;0;1;\n4100001\n0\n"
        "1111111111111111111111111111111111111111111\n"
        "1111111111111111111111111111111111111111111\n"
        "0003336666663333333333333333333333333333333\n"
        "0006666666666666666666666666666666666666666\n"
        "19.93\n1\n1\n1\n0\n/home/lab/data\n1\n9276913\n0.5\n1\n"
        "1\n2\n12\n8\n0\n0\n0\n1\n0\n300\nLOCAL MACHINE\n0\n0\n\n1\nATZ\n5551234\n60\n0\n"
        "/dev/ttyUSB0";
    Bytes seed = {1};
    seed.insert(seed.end(), values.begin(), values.end());
    Put("settings", "typical", seed);
    Put("settings", "empty", Bytes{0});
}

void SimSeeds(const Bytes& requests) {
    Bytes frames = {0, 63, 0};
    frames.insert(frames.end(), requests.begin(), requests.end());
    Put("sim_frames", "requests", frames);
    Bytes pieces = {0x12, 7, 1};
    pieces.insert(pieces.end(), requests.begin(), requests.end());
    Put("sim_frames", "requests_transit_faults", pieces);
    Bytes sealed = {0, 63, 3};
    sealed.insert(sealed.end(), requests.begin(), requests.end());
    Put("sim_frames", "requests_sealed_transit", sealed);

    auto args = [](const std::vector<std::string>& list) {
        Bytes out = {0};
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (i) out.push_back(0);
            out.insert(out.end(), list[i].begin(), list[i].end());
        }
        return out;
    };
    Put("sim_options", "tcp", args({"--tcp", "5000", "--devices", "5", "--first", "4000001"}));
    Put("sim_options", "transit",
        args({"--pty", "--transit", "4100001", "--transit-status", "8:2", "--slow", "300:1"}));
    Bytes commands = {1};
    const std::string lines =
        "drop 3\ncrc 1\nresult 5 2\ntransit 9 1\nslow 200 3\nloss 10\noff 4000001\non 4000001\n"
        "list\nfaults\nhelp\nquit";
    commands.insert(commands.end(), lines.begin(), lines.end());
    Put("sim_options", "commands", commands);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) g_root = argv[1];
    Bytes requests;
    LinkSeeds(requests);
    ComServerSeeds();
    FileServerSeeds();
    FileSeeds();
    SettingsSeeds();
    SimSeeds(requests);
    std::printf("seeds written to %s\n", g_root.c_str());
    return 0;
}
