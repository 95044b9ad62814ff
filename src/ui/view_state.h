#pragma once
// State of the main view that the pages share: the current device (the device box of the tool
// bar), changes of the active list and requests to redraw statistics. The main frame owns it
// and hands it to the pages through SUiContext::view.
#include <QObject>
#include <cstdint>
#include <functional>

namespace dravmer::ui {

class CViewState : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Index into the active list of the device chosen in the device box; 0 when the list is
    // empty (pages check it against the store count before use).
    int CurrentDevice() const { return m_currentDevice; }
    void SetCurrentDevice(int index);

    // The time range (seconds of the experiment clock) that "Расчет статистики" works on: set by
    // the graph page while a range is selected there. Without a provider, or when it answers
    // false, the statistics are computed over all records.
    using RangeProvider = std::function<bool(std::uint32_t& from, std::uint32_t& to)>;
    void SetStatisticsRangeProvider(RangeProvider provider) { m_range = std::move(provider); }
    bool StatisticsRange(std::uint32_t& from, std::uint32_t& to) const {
        return m_range && m_range(from, to);
    }

    // Called by whoever changed the active list (search, check boxes): the frame refills the
    // device box, the pages rebuild what depends on the list.
    void NotifyDeviceListChanged() { emit deviceListChanged(); }
    // Called after statistics were recomputed or cleared.
    void NotifyStatisticsChanged() { emit statisticsChanged(); }
    // Called after the table or file columns, their decimals or Ky changed (the column chooser,
    // "Настройки эксперимента"): every page that shows them follows at once.
    void NotifyColumnsChanged() { emit columnsChanged(); }
    // Called after the comment of the experiment on screen was written: the window's title
    // shows it.
    void NotifyExperimentCommentChanged() { emit experimentCommentChanged(); }

signals:
    void currentDeviceChanged(int index);
    void deviceListChanged();
    void statisticsChanged();
    void columnsChanged();
    void experimentCommentChanged();

private:
    int m_currentDevice = 0;
    RangeProvider m_range;
};

}  // namespace dravmer::ui
