#pragma once
// The test program's QApplication (offscreen) and a bench with devices and records.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "bench/bench.h"
#include "ui/bench_events.h"
#include "ui/ui_context.h"
#include "ui_test_env.h"

namespace dravmer::ui {

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::App();
        m_bench = std::make_unique<CBench>(m_store);
        m_events = std::make_unique<CBenchEvents>();
        m_context = std::make_unique<SUiContext>(SUiContext{*m_bench, m_store, *m_events});
    }
    void TearDown() override {
        m_context.reset();
        m_events.reset();
        m_bench.reset();
    }
    // Devices with these addresses on port 0, enabled, with their stores.
    void Devices(std::initializer_list<std::uint32_t> addresses) {
        CDeviceList& list = m_bench->Settings().devices;
        list.ClearFound();
        for (auto a : addresses) list.AddFound(a, 0, true);
        list.RebuildActive();
        m_bench->EnsureStores();
    }
    // A record at second t with cycle t and the given parameter values.
    void Add(std::size_t device, std::uint32_t t, std::initializer_list<std::pair<int, double>> values) {
        CMeasRecord r;
        r.time = t;
        r.cycle = static_cast<std::uint8_t>(t);
        for (auto [i, v] : values) SetParam(r, i, v);
        m_bench->Data(device).AddSample(r);
    }
    SUiContext& Context() { return *m_context; }
    CBench& Bench() { return *m_bench; }

    CMemorySettingsStore m_store;
    std::unique_ptr<CBench> m_bench;
    std::unique_ptr<CBenchEvents> m_events;
    std::unique_ptr<SUiContext> m_context;
};

}  // namespace dravmer::ui
