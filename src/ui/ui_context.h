#pragma once
// What every page, dialog and settings page of the window works with: the engine's facade (the
// owner of all engine state), the settings store and the engine's events on the UI thread.
// Pages pull from the stores on their own timers and never block the UI thread.
#include "bench/bench.h"
#include "platform/settings_store.h"
#include "ui/bench_events.h"

namespace dravmer::ui {

struct SUiContext {
    CBench& bench;
    ISettingsStore& settings;
    CBenchEvents& events;
};

}  // namespace dravmer::ui
