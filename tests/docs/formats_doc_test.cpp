// docs/formats.md against the program: the parameter table is the catalogue's, and the numpy and
// pandas readers it shows read the files the program writes.
#include <gtest/gtest.h>
#include <utime.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli.h"
#include "files/experiment_files.h"
#include "files/file_format.h"
#include "measure/param_catalog.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;

std::string Doc() {
    std::ifstream f(std::string(DRAVMER_SOURCE_DIR) + "/docs/formats.md");
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// The python block that follows a "<!-- reader: NAME -->" line.
std::string Reader(const std::string& doc, const std::string& name) {
    const std::size_t marker = doc.find("<!-- reader: " + name + " -->");
    if (marker == std::string::npos) return {};
    const std::size_t open = doc.find("```python\n", marker);
    const std::size_t close = doc.find("\n```", open + 10);
    if (open == std::string::npos || close == std::string::npos) return {};
    return doc.substr(open + 10, close - open - 10 + 1);
}

TEST(FormatsDoc, TheParameterTableIsTheCatalogues) {
    std::ostringstream out, err;
    ASSERT_EQ(cli::RunCli({"catalog", "--markdown"}, out, err,
                          std::make_unique<CMemorySettingsStore>(), Language::English),
              cli::kExitOk);
    const std::string doc = Doc();
    const std::string begin = "<!-- catalog: begin -->\n", end = "<!-- catalog: end -->";
    const std::size_t b = doc.find(begin), e = doc.find(end);
    ASSERT_NE(b, std::string::npos);
    ASSERT_NE(e, std::string::npos);
    EXPECT_EQ(doc.substr(b + begin.size(), e - b - begin.size()), out.str())
        << "docs/formats.md's table differs from the catalogue: run scripts/formats-table";
}

TEST(FormatsDoc, ItsReadersReadTheFilesTheProgramWrites) {
    const std::string doc = Doc();
    const std::string adcReader = Reader(doc, "adc"), txtReader = Reader(doc, "txt");
    ASSERT_NE(adcReader.find("def read_adc"), std::string::npos);
    ASSERT_NE(txtReader.find("def read_txt"), std::string::npos);

    const fs::path dir = fs::temp_directory_path() / ("dravmer-docs-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    CDeviceData store;
    for (int s = 0; s < 40; ++s) {
        CMeasRecord r = EmptyRecord();
        SetParam(r, 0, s);
        SetParam(r, 1, (s + 250) % 256);
        SetParam(r, 2, 0xA3F1);
        for (int i = 3; i < 43; ++i)
            if (!IsIntegerParam(i)) SetParam(r, i, 29.95655632 * i - s / 3.0);
        SetParam(r, 15, 7);
        r.kg = 16;
        r.kr = 1;
        store.AddSample(r);
    }
    const std::time_t start = std::time(nullptr) - 3600;
    store.SetStartTime(start);
    SFileOptions options;
    options.ky = 19.93;
    // Some parameters left out, as an operator's choice of columns does.
    std::vector<int> columns;
    for (int i = 0; i < 43; ++i)
        if (i != 5 && i != 20) columns.push_back(i);
    const std::string name = DateText(start) + "-004-012345";
    const std::string adc = (dir / (name + ".adc")).string(),
                      txt = (dir / (name + ".txt")).string();
    ASSERT_EQ(SaveStoreAs(store, adc, false, columns, options), 0);
    ASSERT_EQ(SaveStoreAs(store, txt, true, columns, options), 0);
    const std::time_t lastWrite = start + 39;  // written with the record of second 39
    utimbuf times{lastWrite, lastWrite};
    ASSERT_EQ(::utime(txt.c_str(), &times), 0);

    std::ofstream(dir / "check.py")
        << adcReader << "\n"
        << txtReader << "\n"
        << "import json, sys\n"
           "start, cols, values = read_adc(sys.argv[1])\n"
           "t = read_txt(sys.argv[2])\n"
           "print(json.dumps({'adc': {'start': start.timestamp(), 'columns': cols,\n"
           "                          'rows': len(values), 'row': [float(v) for v in values[3]]},\n"
           "                  'txt': {'columns': list(t.columns), 'rows': len(t),\n"
           "                          'row': [float(v) for v in t.iloc[3]], 'Ky': t.attrs['Ky'],\n"
           "                          'KG': t.attrs['KG'], 'start': "
           "t.attrs['start'].timestamp()}}))\n";
    const std::string cmd =
        "/usr/bin/python3 '" + (dir / "check.py").string() + "' '" + adc + "' '" + txt + "' 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string said;
    char buf[4096];
    while (std::fgets(buf, sizeof buf, p)) said += buf;
    ASSERT_EQ(::pclose(p), 0) << said;
    const auto j = nlohmann::json::parse(said);

    const CMeasRecord rec = store.GetSample(3);
    EXPECT_EQ(j["adc"]["start"].get<double>(), static_cast<double>(start));
    EXPECT_EQ(j["adc"]["columns"].get<std::vector<int>>(), columns);
    EXPECT_EQ(j["adc"]["rows"], 40);
    EXPECT_EQ(j["txt"]["rows"], 40);
    EXPECT_EQ(j["txt"]["Ky"].get<double>(), 19.93);
    EXPECT_EQ(j["txt"]["KG"].get<double>(), 16);
    EXPECT_EQ(j["txt"]["start"].get<double>(), static_cast<double>(start))
        << "last write less the last second, on the named day";
    const auto names = j["txt"]["columns"].get<std::vector<std::string>>();
    ASSERT_EQ(names.size(), columns.size());
    for (std::size_t k = 0; k < columns.size(); ++k) {
        const int c = columns[k];
        EXPECT_EQ(names[k], ParamNameTrimmed(c)) << "names with a blank stay whole";
        const double want = GetParam(rec, c);
        EXPECT_EQ(j["adc"]["row"][k].get<double>(), static_cast<double>(static_cast<float>(want)))
            << ParamNameTrimmed(c);
        EXPECT_NEAR(j["txt"]["row"][k].get<double>(), want, 5e-7) << ParamNameTrimmed(c);
    }
    EXPECT_EQ(j["txt"]["row"][2].get<double>(), 0xA3F1) << "Cст from its hexadecimal digits";
    fs::remove_all(dir);
}

TEST(FormatsDoc, TheStreamsExamplesAreWhatTheProgramWrites) {
    const std::string doc = Doc();
    const std::size_t section = doc.find("## Live stream");
    ASSERT_NE(section, std::string::npos);
    const std::size_t open = doc.find("```json\n", section);
    const std::size_t close = doc.find("\n```", open + 8);
    ASSERT_NE(close, std::string::npos);
    const std::string record = doc.substr(open + 8, close - open - 8);
    // Each value as the program prints it: the shortest text of the float an .adc file holds.
    int values = 0;
    for (std::size_t at = 0; (at = record.find("\":", at)) != std::string::npos;) {
        at += 2;
        const std::size_t end = record.find_first_of(",}", at);
        const std::string text = record.substr(at, end - at);
        if (text.find('.') == std::string::npos) continue;
        char buf[64];
        char* stop = std::to_chars(buf, buf + sizeof buf, static_cast<float>(std::stod(text))).ptr;
        EXPECT_EQ(std::string(buf, stop), text);
        ++values;
    }
    EXPECT_GE(values, 2) << record;
    // The stop's shape beside the start's.
    EXPECT_NE(doc.find("{\"event\":\"stop\",\"experiment\":"), std::string::npos);
    EXPECT_NE(doc.find("\"reason\":\"stopped\"}"), std::string::npos);
}

}  // namespace
}  // namespace dravmer
