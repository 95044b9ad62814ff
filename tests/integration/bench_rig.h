#pragma once
// A bench's far side for whole-experiment tests: simulated lines on pseudo-terminals behind the
// first ports, and a listener that keeps what the engine reported.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "sim/sim_line.h"
#include "sim/sim_pty.h"

namespace dravmer {

class Events : public IBenchListener {
public:
    void OnWaitingForDevice(std::size_t, std::uint32_t address) override {
        std::lock_guard lock(m);
        waitingFor.push_back(address);
    }
    void OnSearchProgress(int port, int code, std::uint32_t value, int found) override {
        const std::string text = WordSearchProgress(port, code, value, found, Language::Russian);
        std::lock_guard lock(m);
        if (!text.empty()) texts.push_back(text);
    }
    void OnError(const SBenchMessage& message) override {
        std::lock_guard lock(m);
        errors.push_back(WordMessage(message));
        codes.push_back(message.code);
    }
    void OnPollLost(int port) override {
        std::lock_guard lock(m);
        pollLost.push_back(port);
    }
    std::vector<std::uint32_t> Waiting() {
        std::lock_guard lock(m);
        return waitingFor;
    }
    std::vector<std::string> Errors() {
        std::lock_guard lock(m);
        return errors;
    }
    std::vector<int> PollLost() {
        std::lock_guard lock(m);
        return pollLost;
    }
    std::mutex m;
    std::vector<std::uint32_t> waitingFor;
    std::vector<int> pollLost;
    std::vector<std::string> texts, errors;
    std::vector<BenchMessage> codes;
};

// Simulated lines on pseudo-terminals behind ports 0.., the rest switched off.
class Rig {
public:
    struct Line {
        std::uint32_t transit;
        int devices;
        std::uint32_t first;
    };
    Rig(std::initializer_list<Line> lines, CMemorySettingsStore& store, const std::filesystem::path& out) {
        int p = 0;
        for (const auto& l : lines) {
            sim::SLineConfig config;
            config.transitAddress = l.transit;
            sims.push_back(std::make_unique<sim::CSimLine>(config));
            sims.back()->AddDevices(l.devices, l.first, 3);
            servers.push_back(std::make_unique<sim::CSimPtyServer>(*sims.back(), 115200));
            EXPECT_TRUE(servers.back()->Open()) << servers.back()->Error();
            servers.back()->Start();
            const std::string section = "ComSettingsPort" + std::to_string(p++);
            store.SetString(section, "DevicePath", servers.back()->SlavePath());
        }
        for (; p < kPortCount; ++p)
            store.SetInt("ComSettingsPort" + std::to_string(p), "UseLink", 0);
        store.SetString("ExperimentSettings", "strPathToSaveFile", out.string() + "/");
        store.SetString("ExperimentSettings", "strPeriod", "0.2");
    }
    ~Rig() {
        for (auto& s : servers) s.reset();
    }
    std::vector<std::unique_ptr<sim::CSimLine>> sims;
    std::vector<std::unique_ptr<sim::CSimPtyServer>> servers;
};

}  // namespace dravmer
