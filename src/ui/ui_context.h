#pragma once
// What every page, dialog and settings page of the window works with: the engine's facade (the
// owner of all engine state), the settings store and the engine's events on the UI thread.
// Pages pull from the stores on their own timers and never block the UI thread.
#include "bench/bench.h"
#include "platform/settings_store.h"
#include "ui/bench_events.h"

namespace dravmer::ui {

class CCommandTable;
class CViewState;

struct SUiContext {
    CBench& bench;
    ISettingsStore& settings;
    CBenchEvents& events;
    // The main frame's commands (menus and tool bar): a page connects to the commands it
    // handles and enables them. Set by the main frame; null in a page built on its own.
    CCommandTable* commands = nullptr;
    // The current device, list changes and statistics redraws. Set by the main frame.
    CViewState* view = nullptr;
};

}  // namespace dravmer::ui
