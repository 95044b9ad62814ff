// Every value the window writes to its settings file is one `dravmer-cli settings` can read, set
// and dump: the window's writers run into a store that notes each key, and each key must be in
// the table the command line walks.
#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <mutex>
#include <set>

#include "bench/experiment_number.h"
#include "bench/settings_catalog.h"
#include "graph/graph_list.h"
#include "graph/graph_settings.h"
#include "ui/dialogs/load_experiment_dialog.h"
#include "ui/main_frame.h"
#include "ui/pages/program_settings_page.h"
#include "ui_fixture.h"

namespace dravmer::ui {
namespace {

class CNotingStore : public CMemorySettingsStore {
public:
    void SetInt(const std::string& s, const std::string& n, int v) override {
        Note(s, n);
        CMemorySettingsStore::SetInt(s, n, v);
    }
    void SetString(const std::string& s, const std::string& n, const std::string& v) override {
        Note(s, n);
        CMemorySettingsStore::SetString(s, n, v);
    }
    void SetBinary(const std::string& s, const std::string& n, const Bytes& v) override {
        Note(s, n);
        CMemorySettingsStore::SetBinary(s, n, v);
    }
    std::set<std::pair<std::string, std::string>> Keys() const {
        std::lock_guard lock(m_keysMutex);
        return m_keys;
    }

private:
    void Note(const std::string& s, const std::string& n) {
        std::lock_guard lock(m_keysMutex);
        m_keys.insert({s, n});
    }
    mutable std::mutex m_keysMutex;
    std::set<std::pair<std::string, std::string>> m_keys;
};

TEST(SettingsKnown, EveryKeyTheWindowWritesIsOneTheCommandLineKnows) {
    test::App();
    CNotingStore store;
    for (int p = 0; p < kPortCount; ++p) store.SetInt(PortSection(p), "UseLink", 0);
    CBench bench(store);
    bench.LoadSettings();
    {
        CMainFrame frame(bench, store);
        frame.show();
        CBenchEvents events;
        SUiContext context{bench, store, events};
        // The "Настройки" page: language, broker, archive.
        CProgramSettingsPage page(context);
        page.MqttUrlEdit()->setText("mqtt://lab-broker:1884");
        page.MqttTopicEdit()->setText("lab/bench3");
        ASSERT_TRUE(page.Apply());
        // The loading dialog keeps its folder.
        CLoadExperimentDialog load(context);
        load.SetFolder(QDir::tempPath());
        // The graph pages: every curve slot used, every axis set saved, the colours chosen.
        graph::CGraphList list;
        for (int slot = 0; slot < graph::kSlotCount; ++slot) list.Put(slot / 40, 3 + slot % 40, slot);
        ASSERT_EQ(list.Count(), graph::kSlotCount);
        graph::SaveGraphSettings(store, graph::SGraphSettings{}, list);
        for (int set = 0; set < graph::kAxisSets; ++set) graph::SaveAxisSet(store, set, {});
        graph::SaveColorTable(store, graph::SColorTable::Defaults());
        graph::SaveComments(store, "lab");
        // The pages of the experiment, the device list and the ports write through the bench.
        auto& settings = bench.Settings();
        settings.SaveFileSettings(store);
        settings.SaveAllColumns(store);
        settings.SaveLinkLogFlag(store);
        settings.devices.SaveFound(store);
        settings.devices.SaveTransits(store);
        for (int p = 0; p < kPortCount; ++p) bench.Port(p).Settings().Save(store, p);
        NextExperimentNumber(store);
        frame.close();  // the window's placement
    }
    bench.SaveExitSettings();

    const auto keys = store.Keys();
    EXPECT_GT(keys.size(), 300u) << "the writers ran";
    for (const auto& [section, name] : keys)
        EXPECT_NE(FindSetting(section, name), nullptr)
            << section << "/" << name << " is written but unknown to `dravmer-cli settings`";
}

}  // namespace
}  // namespace dravmer::ui
