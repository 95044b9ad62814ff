// Nothing stored follows the window's language: the same work done in the window in Russian and
// then in English (an experiment loaded, its comment written, every settings page applied, the
// experiment exported as CSV, the window closed) leaves byte-identical files behind.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <map>

#include "files/experiment_files.h"
#include "files/file_format.h"
#include "graph/graph_list.h"
#include "platform/cp1251.h"
#include "platform/qt/qsettings_store.h"
#include "ui/command_table.h"
#include "ui/dialogs/csv_export_dialog.h"
#include "ui/dialogs/settings_sheet.h"
#include "ui/export_command.h"
#include "ui/graphs/graph_comment_dialog.h"
#include "ui/graphs/graph_page.h"
#include "ui/main_frame.h"
#include "ui/qt_translations.h"
#include "ui/window_rig.h"

namespace dravmer::ui {
namespace {

namespace fs = std::filesystem;
using test::WaitFor;

std::string ReadAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// Every file under `root`, by its path below it, with its bytes.
std::map<std::string, std::string> Files(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = ReadAll(e.path());
    return files;
}

// The experiment the window loads: two devices of 30 seconds, taken on 6 December 2026.
void WriteExperiment(const fs::path& folder) {
    fs::create_directories(folder);
    for (std::uint32_t address : {301u, 302u}) {
        CDeviceData store;
        for (int k = 0; k < 30; ++k) {
            CMeasRecord r;
            r.time = static_cast<std::uint32_t>(k);
            r.cycle = static_cast<std::uint8_t>(k);
            for (int p = 3; p < CMeasRecord::kParamCount - 1; ++p)
                SetParam(r, p, k * 0.125 + p + address);
            store.AddSample(r);
        }
        store.SetStartTime(1796540400);
        std::vector<int> columns;
        for (int c = 0; c < CMeasRecord::kParamCount; ++c) columns.push_back(c);
        const std::string name = "261206-007-000" + std::to_string(address) + ".adc";
        ASSERT_EQ(SaveStoreAs(store, (folder / name).string(), false, columns, SFileOptions()), 0);
    }
}

// The same session in the window in `language`; returns what it left in `root`.
std::map<std::string, std::string> Session(Language language, const fs::path& root) {
    fs::remove_all(root);
    WriteExperiment(root / "data");
    QApplication& app = test::App();
    InstallTranslations(app, language);
    graph::GraphList().Clear();
    {
        CQSettingsStore settings((root / "settings.ini").string());
        for (int p = 0; p < kPortCount; ++p) settings.SetInt(PortSection(p), "UseLink", 0);
        CBench bench(settings);
        bench.LoadSettings();
        CMainFrame frame(bench, settings);
        frame.OfferStartupFile(QString::fromStdString((root / "data" / "261206-007-000301.adc").string()));
        EXPECT_TRUE(bench.ShowsLoadedExperiment());

        // The comment, through the graph page's dialog.
        bool commented = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<CGraphCommentDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            dialog->Edit()->setPlainText("{Date}  -  Experiment: {Experiment}   Калибровка / calibration");
            dialog->accept();
            commented = true;
        });
        auto* graph = qobject_cast<CGraphPage*>(frame.Pages()->widget(2));
        EXPECT_NE(graph, nullptr);
        if (graph) graph->EditComment();
        EXPECT_TRUE(commented);

        // Every settings page shown and applied.
        {
            CSettingsSheet sheet(frame.Context(), true, &frame);
            sheet.show();
            for (int page = 0; page < sheet.PageCount(); ++page) sheet.SelectPageAt(page);
            sheet.accept();
            EXPECT_EQ(sheet.result(), QDialog::Accepted);
        }

        // The experiment on screen as CSV, with its units row.
        QSignalSpy exported(&frame.Export(), &CExportCommand::finished);
        frame.Commands().Get(cmd::ExportCsv)->trigger();
        CCsvExportDialog* dialog = frame.Export().Dialog();
        EXPECT_NE(dialog, nullptr);
        if (dialog) {
            WaitFor([&] { return dialog->isVisible(); });
            dialog->PathEdit()->setText(QString::fromStdString((root / "out" / "day.csv").string()));
            dialog->UnitsBox()->setChecked(true);
            fs::create_directories(root / "out");
            dialog->accept();
            EXPECT_TRUE(exported.wait(20000));
        }
        frame.close();
        bench.SaveExitSettings();
        settings.Flush();
    }
    graph::GraphList().Clear();
    return Files(root);
}

TEST(SameFiles, WhatTheWindowWritesInEnglishIsByteIdenticalToRussian) {
    const fs::path root = fs::temp_directory_path() / ("dravmer-same-files-" + std::to_string(::getpid()));
    const auto russian = Session(Language::Russian, root);
    const auto english = Session(Language::English, root);
    fs::remove_all(root);
    EXPECT_EQ(UiLanguage(), Language::English);
    // What the session wrote: the settings, the comment's label file and the CSV table.
    ASSERT_TRUE(russian.count("settings.ini"));
    ASSERT_TRUE(russian.count("data/261206-007-label .txt"));
    ASSERT_TRUE(russian.count("out/day.csv"));
    EXPECT_NE(russian.at("out/day.csv").find("мкВ"), std::string::npos) << "the units row as stored";
    EXPECT_NE(russian.at("data/261206-007-label .txt").find(Utf8ToCp1251("Калибровка")),
              std::string::npos);
    ASSERT_EQ(russian.size(), english.size());
    for (const auto& [name, bytes] : russian) {
        ASSERT_TRUE(english.count(name)) << name;
        EXPECT_EQ(english.at(name), bytes) << name << " differs between Russian and English";
    }
}

}  // namespace
}  // namespace dravmer::ui
