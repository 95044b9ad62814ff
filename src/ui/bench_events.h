#pragma once
// The engine's events on the user-interface thread. The engine calls the listener on its own
// threads (poll threads, the search and parameter-saving workers, the caller of a blocking
// start); each call is re-posted to this object's thread and emitted there as a signal, so
// pages connect to signals and never touch a widget from a worker. The engine's codes are worded
// here, in the window's language.
#include <QObject>
#include <QString>

#include "bench/bench.h"
#include "bench/bench_listener.h"

namespace dravmer::ui {

class CBenchEvents : public QObject, public IBenchListener {
    Q_OBJECT
public:
    explicit CBenchEvents(QObject* parent = nullptr);

    void OnSearchProgress(int port, int code, std::uint32_t value, int found) override;
    void OnDeviceIdentified(std::size_t row, const SFoundInfo& info) override;
    void OnSearchFinished(int foundCount) override;
    void OnDeviceListChanged() override;
    void OnAskingDevice(std::size_t index, std::uint32_t address) override;
    void OnWaitingForDevice(std::size_t index, std::uint32_t address) override;
    void OnDeviceAnswered(std::size_t index, std::uint32_t address) override;
    void OnPortNotOpen(int port, const SPortState& state) override;
    void OnPortReopened(int port) override;
    void OnPollLost(int port) override;
    void OnWaitingForPollEnd(int port) override;
    void OnExperimentStarted(int number) override;
    void OnExperimentStopped() override;
    void OnRecordAdded(std::size_t index) override;
    void OnParamsReport(const SParamsReport& entry) override;
    void OnError(const SBenchMessage& message) override;

signals:
    void searchProgress(int port, int code, quint32 value, const QString& text);
    void deviceIdentified(int row, const dravmer::SFoundInfo& info);
    void searchFinished(int foundCount);
    void deviceListChanged();
    void askingDevice(int index, quint32 address);
    void waitingForDevice(int index, quint32 address);
    void deviceAnswered(int index, quint32 address);
    void portNotOpen(int port, const QString& text);
    void portReopened(int port);
    void pollLost(int port);
    void waitingForPollEnd(int port);
    void experimentStarted(int number);
    void experimentStopped();
    void recordAdded(int index);
    void reportText(const QString& text);
    // The engine's message, worded, and its code.
    void error(const QString& text, int code);
};

}  // namespace dravmer::ui
