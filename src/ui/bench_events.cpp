#include "ui/bench_events.h"

#include <QMetaObject>

#include "ui/qt_translations.h"

namespace dravmer::ui {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

CBenchEvents::CBenchEvents(QObject* parent) : QObject(parent) {}

// Every callback only queues a call to this object's thread; the signal is emitted there.
#define DRAVMER_POST(body) QMetaObject::invokeMethod(this, [=, this] { body; }, Qt::QueuedConnection)

void CBenchEvents::OnSearchProgress(int port, int code, std::uint32_t value, int found) {
    const QString t = Q(WordSearchProgress(port, code, value, found, UiLanguage()));
    DRAVMER_POST(emit searchProgress(port, code, value, t));
}
void CBenchEvents::OnDeviceIdentified(std::size_t row, const SFoundInfo& info) {
    const SFoundInfo copy = info;
    DRAVMER_POST(emit deviceIdentified(static_cast<int>(row), copy));
}
void CBenchEvents::OnSearchFinished(int foundCount) {
    DRAVMER_POST(emit searchFinished(foundCount));
}
void CBenchEvents::OnDeviceListChanged() { DRAVMER_POST(emit deviceListChanged()); }
void CBenchEvents::OnAskingDevice(std::size_t index, std::uint32_t address) {
    DRAVMER_POST(emit askingDevice(static_cast<int>(index), address));
}
void CBenchEvents::OnWaitingForDevice(std::size_t index, std::uint32_t address) {
    DRAVMER_POST(emit waitingForDevice(static_cast<int>(index), address));
}
void CBenchEvents::OnDeviceAnswered(std::size_t index, std::uint32_t address) {
    DRAVMER_POST(emit deviceAnswered(static_cast<int>(index), address));
}
void CBenchEvents::OnPortNotOpen(int port, const SPortState& state) {
    const QString t = Q(WordPortState(state, UiLanguage()));
    DRAVMER_POST(emit portNotOpen(port, t));
}
void CBenchEvents::OnPortReopened(int port) { DRAVMER_POST(emit portReopened(port)); }
void CBenchEvents::OnPollLost(int port) { DRAVMER_POST(emit pollLost(port)); }
void CBenchEvents::OnWaitingForPollEnd(int port) { DRAVMER_POST(emit waitingForPollEnd(port)); }
void CBenchEvents::OnExperimentStarted(int number) {
    DRAVMER_POST(emit experimentStarted(number));
}
void CBenchEvents::OnExperimentStopped() { DRAVMER_POST(emit experimentStopped()); }
void CBenchEvents::OnRecordAdded(std::size_t index) {
    DRAVMER_POST(emit recordAdded(static_cast<int>(index)));
}
void CBenchEvents::OnParamsReport(const SParamsReport& entry) {
    const QString t = Q(WordParamsReport(entry, UiLanguage()));
    DRAVMER_POST(emit reportText(t));
}
void CBenchEvents::OnError(const SBenchMessage& message) {
    const QString t = Q(WordMessage(message, UiLanguage()));
    const int code = static_cast<int>(message.code);
    DRAVMER_POST(emit error(t, code));
}

#undef DRAVMER_POST

}  // namespace dravmer::ui
