// A port's poll thread against a line that misbehaves below the port: a write that hangs in
// the driver past every stop, and one that fails in a way nobody expected.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "bench/bench.h"
#include "integration/bench_rig.h"
#include "link/port.h"
#include "link/serial_line.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// What the test makes the next write do.
struct SLineTrouble {
    std::mutex m;
    std::condition_variable cv;
    bool hang = false;      // the next write blocks until released, deaf to stop requests
    bool hanging = false;   // a write is blocked now
    bool fail = false;      // the next write throws
    void Release() {
        std::lock_guard lock(m);
        hang = false;
        cv.notify_all();
    }
};

// A real line on the simulator's pseudo-terminal with the trouble put in front of its writes.
class CTroubledLine : public ISerialLine {
public:
    CTroubledLine(std::unique_ptr<CSerialLine> line, SLineTrouble& trouble)
        : m_line(std::move(line)), m_trouble(trouble) {}
    bool IsOpen() const override { return m_line->IsOpen(); }
    bool Write(const std::uint8_t* data, int length) override {
        {
            std::unique_lock lock(m_trouble.m);
            if (m_trouble.fail) {
                m_trouble.fail = false;
                throw std::runtime_error("driver fault");
            }
            if (m_trouble.hang) {
                m_trouble.hanging = true;
                m_trouble.cv.notify_all();
                m_trouble.cv.wait(lock, [&] { return !m_trouble.hang; });
                m_trouble.hanging = false;
            }
        }
        return m_line->Write(data, length);
    }
    int Read(std::uint8_t* data, int capacity, int timeoutMs) override {
        return m_line->Read(data, capacity, timeoutMs);
    }
    void Purge() override { m_line->Purge(); }
    bool SetDtr(bool on) override { return m_line->SetDtr(on); }
    bool SetRts(bool on) override { return m_line->SetRts(on); }
    bool HungUp() const override { return m_line->HungUp(); }

private:
    std::unique_ptr<CSerialLine> m_line;
    SLineTrouble& m_trouble;
};

class PollThread : public ::testing::Test {
protected:
    void SetUp() override {
        out = fs::temp_directory_path() /
              ("dravmer-poll-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(out);
        fs::create_directories(out);
        rig = std::make_unique<Rig>(std::initializer_list<Rig::Line>{{0, 1, 5001}}, store, out);
        bench = std::make_unique<CBench>(store);
        bench->SetListener(&events);
        bench->LoadSettings();
        bench->Port(0).SetLineFactory([this](const SPortSettings& s, int& error) {
            auto line = std::make_unique<CSerialLine>();
            SLineParams params;
            params.baud = s.Baud();
            error = line->Open(s.LocalDevicePath(), params);
            return error ? nullptr : std::make_unique<CTroubledLine>(std::move(line), trouble);
        });
        bench->OpenPorts();
        ASSERT_EQ(bench->Search(), 1);
    }
    void TearDown() override {
        trouble.Release();
        bench.reset();
        rig.reset();
        fs::remove_all(out);
    }
    static bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(10ms);
        return done();
    }

    fs::path out;
    CMemorySettingsStore store;
    Events events;
    SLineTrouble trouble;
    std::unique_ptr<Rig> rig;
    std::unique_ptr<CBench> bench;
};

TEST_F(PollThread, AStartWaitsForAnOldPollThreadAndRefusesWhileItLives) {
    ASSERT_EQ(bench->Start(), StartResult::Started);
    ASSERT_TRUE(WaitUntil([&] { return bench->Data(0).GetCount() >= 1; }, 5000ms));
    {
        std::unique_lock lock(trouble.m);
        trouble.hang = true;
        ASSERT_TRUE(trouble.cv.wait_for(lock, 5s, [&] { return trouble.hanging; }));
    }
    bench->Stop();  // gives up on the hanging thread after its wait
    EXPECT_FALSE(bench->IsRunning());

    SStartOptions quick;
    quick.pollEndWaitMs = 300;
    EXPECT_EQ(bench->Start(quick), StartResult::PollBusy);
    EXPECT_FALSE(bench->IsRunning());
    const auto errors = events.Errors();
    ASSERT_FALSE(errors.empty());
    EXPECT_NE(errors.back().find("Порт 1"), std::string::npos) << errors.back();

    // Once the old thread is gone a start polls the port again, record after record.
    trouble.Release();
    ASSERT_EQ(bench->Start(), StartResult::Started);
    const int first = bench->Data(0).GetCount();
    EXPECT_TRUE(WaitUntil([&] { return bench->Data(0).GetCount() >= first + 3; }, 8000ms))
        << "the new experiment is polled: " << bench->Data(0).GetCount();
    EXPECT_FALSE(bench->PollLost(0));
    bench->Stop();
}

TEST_F(PollThread, AStartWaitsForAnOldPollThreadThatEndsSoon) {
    ASSERT_EQ(bench->Start(), StartResult::Started);
    ASSERT_TRUE(WaitUntil([&] { return bench->Data(0).GetCount() >= 1; }, 5000ms));
    {
        std::unique_lock lock(trouble.m);
        trouble.hang = true;
        ASSERT_TRUE(trouble.cv.wait_for(lock, 5s, [&] { return trouble.hanging; }));
    }
    bench->Stop();
    std::thread releaser([&] {
        std::this_thread::sleep_for(500ms);
        trouble.Release();
    });
    EXPECT_EQ(bench->Start(), StartResult::Started) << "the start waited for the old thread";
    releaser.join();
    const int first = bench->Data(0).GetCount();
    EXPECT_TRUE(WaitUntil([&] { return bench->Data(0).GetCount() >= first + 2; }, 8000ms));
    bench->Stop();
}

TEST_F(PollThread, APortThatLosesItsPollThreadSaysSoOnce) {
    ASSERT_EQ(bench->Start(), StartResult::Started);
    ASSERT_TRUE(WaitUntil([&] { return bench->Data(0).GetCount() >= 1; }, 5000ms));
    {
        std::lock_guard lock(trouble.m);
        trouble.fail = true;
    }
    ASSERT_TRUE(WaitUntil([&] { return bench->PollLost(0); }, 5000ms));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(events.PollLost(), std::vector<int>{0});
    bench->Stop();
    // A new experiment polls again and forgets the loss.
    ASSERT_EQ(bench->Start(), StartResult::Started);
    EXPECT_FALSE(bench->PollLost(0));
    const int first = bench->Data(0).GetCount();
    EXPECT_TRUE(WaitUntil([&] { return bench->Data(0).GetCount() >= first + 2; }, 8000ms));
    bench->Stop();
    EXPECT_EQ(events.PollLost(), std::vector<int>{0}) << "a stop is not a loss";
}

}  // namespace
}  // namespace dravmer
