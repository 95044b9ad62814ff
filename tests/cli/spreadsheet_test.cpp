// convert --excel read by a real spreadsheet: LibreOffice Calc, headless, imports the file as a
// Russian user's Calc would (';' between fields, UTF-8, the Russian locale's decimal comma) and
// saves it as .xlsx; the cells must arrive as numbers and dates, not as text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "files/file_format.h"
#include "measure/device_data.h"
#include "measure/param_catalog.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;

// One cell of the saved sheet: its type ("n" number, "s" shared string, ...), its stored value
// and the number format of its style.
struct SCell {
    std::string type, value, format;
};

// Reads sheet1 of an .xlsx into cells by reference ("A3"), through python's zipfile and XML.
constexpr const char* kSheetReader = R"(import sys, zipfile, xml.etree.ElementTree as ET
ns = {'m': 'http://schemas.openxmlformats.org/spreadsheetml/2006/main'}
z = zipfile.ZipFile(sys.argv[1])
styles = ET.fromstring(z.read('xl/styles.xml'))
codes = {f.get('numFmtId'): f.get('formatCode') for f in styles.iterfind('m:numFmts/m:numFmt', ns)}
formats = [codes.get(x.get('numFmtId'), 'builtin:' + x.get('numFmtId'))
           for x in styles.iterfind('m:cellXfs/m:xf', ns)]
sheet = ET.fromstring(z.read('xl/worksheets/sheet1.xml'))
for c in sheet.iterfind('m:sheetData/m:row/m:c', ns):
    v = c.find('m:v', ns)
    print(c.get('r'), c.get('t', 'n'), v.text if v is not None else '',
          formats[int(c.get('s', '0'))].replace(' ', '_'))
)";

std::string Output(const std::string& cmd, int& status) {
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) {
        status = -1;
        return {};
    }
    std::string text;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) text += buf;
    status = ::pclose(p);
    return text;
}

std::string ColumnName(int index) {
    std::string name;
    for (++index; index > 0; index = (index - 1) / 26)
        name.insert(name.begin(), static_cast<char>('A' + (index - 1) % 26));
    return name;
}

class Spreadsheet : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("dravmer-calc-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(Spreadsheet, CalcReadsTheExcelCsvDatesAsDatesAndValuesAsNumbers) {
    // Three seconds of one device; among the values a tiny one and a huge one, which the
    // shortest text writes with an exponent.
    const std::time_t start = 1796540703;  // 2026-12-06 07:05:03 UTC, 10:05:03 in Moscow
    CDeviceData store;
    for (int s = 0; s < 3; ++s) {
        CMeasRecord r = EmptyRecord();
        SetParam(r, 0, s);
        SetParam(r, 1, s + 100);
        SetParam(r, 2, 0x00A3);
        for (int i = 3; i < CMeasRecord::kParamCount; ++i)
            if (!IsIntegerParam(i)) SetParam(r, i, (29.95655632 * i + s / 7.0) * (i % 2 ? -1 : 1));
        SetParam(r, 15, 5);
        SetParam(r, 3, 1.5e-05 * (s + 1));
        SetParam(r, 4, -3.25e20);
        store.AddSample(r);
    }
    store.SetStartTime(start);
    SFileOptions options;
    const std::vector<int> columns = options.Columns();
    const fs::path adc = dir / "261206-003-000042.adc";
    ASSERT_EQ(SaveStoreAs(store, adc.string(), false, columns, options), 0);

    const fs::path csv = dir / "day.csv";
    int status = 0;
    std::string said = Output("TZ=MSK-3 '" DRAVMER_CLI_PROGRAM "' convert '" + adc.string() +
                                  "' '" + csv.string() + "' --excel --units 2>&1",
                              status);
    ASSERT_EQ(status, 0) << said;

    // Separator 59 (';'), text in 34 ('"'), character set 76 (UTF-8), from line 1, the
    // Russian locale (1049) for numbers; a profile of the test's own, so no user's settings
    // and no running office take part.
    said = Output("cd '" + dir.string() + "' && TZ=MSK-3 HOME='" + dir.string() + "' '" +
                      LIBREOFFICE_PROGRAM + "' -env:UserInstallation=file://" + dir.string() +
                      "/profile --headless --convert-to xlsx --infilter=CSV:59,34,76,1,,1049"
                      " --outdir '" + dir.string() + "' '" + csv.string() + "' 2>&1",
                  status);
    ASSERT_EQ(status, 0) << said;
    ASSERT_TRUE(fs::exists(dir / "day.xlsx")) << said;
    std::ofstream(dir / "sheet.py") << kSheetReader;
    const std::string cells = Output(
        "/usr/bin/python3 '" + (dir / "sheet.py").string() + "' '" + (dir / "day.xlsx").string() +
            "' 2>&1",
        status);
    ASSERT_EQ(status, 0) << cells;

    std::map<std::string, SCell> sheet;
    std::istringstream in(cells);
    for (std::string ref; in >> ref;) in >> sheet[ref].type >> sheet[ref].value >> sheet[ref].format;
    // The header and units rows stay text; three rows of records follow them.
    for (const auto& [ref, cell] : sheet) {
        const std::string row = ref.substr(ref.find_first_of("0123456789"));
        if (row == "1" || row == "2") {
            EXPECT_EQ(cell.type, "s") << ref;
        }
    }
    EXPECT_EQ(sheet["A1"].type, "s");
    ASSERT_EQ(sheet.count("A5"), 1u) << cells;
    EXPECT_EQ(sheet.count("A6"), 0u) << cells;

    for (int s = 0; s < 3; ++s) {
        const std::string row = std::to_string(3 + s);
        const CMeasRecord r = store.GetSample(s);
        // The local time as a spreadsheet's serial day number (days since 1899-12-30).
        const SCell& when = sheet["A" + row];
        EXPECT_EQ(when.type, "n") << "row " << row << " datetime '" << when.value << "' is text";
        EXPECT_NE(when.format.find("yy"), std::string::npos) << when.format;
        EXPECT_NE(when.format.find("hh"), std::string::npos) << when.format;
        const double moscow = static_cast<double>(start + s + 3 * 3600);
        EXPECT_NEAR(std::strtod(when.value.c_str(), nullptr), moscow / 86400 + 25569, 1e-6)
            << "row " << row;
        const SCell& address = sheet["B" + row];
        EXPECT_EQ(address.type, "n");
        EXPECT_EQ(address.value, "42");
        for (std::size_t k = 0; k < columns.size(); ++k) {
            const SCell& cell = sheet[ColumnName(static_cast<int>(2 + k)) + row];
            const double want = static_cast<double>(static_cast<float>(GetParam(r, columns[k])));
            EXPECT_EQ(cell.type, "n") << ParamNameTrimmed(columns[k]) << " row " << row << " '"
                                      << cell.value << "' is not a number";
            EXPECT_NEAR(std::strtod(cell.value.c_str(), nullptr), want,
                        std::fabs(want) * 1e-6 + 1e-12)
                << ParamNameTrimmed(columns[k]) << " row " << row;
        }
    }
}

}  // namespace
}  // namespace dravmer
