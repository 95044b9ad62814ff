#include "ui/view_state.h"

namespace dravmer::ui {

void CViewState::SetCurrentDevice(int index) {
    m_currentDevice = index < 0 ? 0 : index;
    // Emitted even when the index stays: the pages refresh their current-device displays.
    emit currentDeviceChanged(m_currentDevice);
}

}  // namespace dravmer::ui
