// The README and the man pages' hand-written sources against the program: the files they name are
// the files the program uses, the experiment files of their examples are named as the bench
// names them, and the options they show are options of the commands they show them with.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "cli/cli.h"
#include "files/experiment_scan.h"
#include "platform/qt/qsettings_store.h"
#include "sim/demo_rig.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream f(path);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// The README and every hand-written man page source, roff's "\-" read as "-".
std::map<std::string, std::string> Documents() {
    const fs::path top = DRAVMER_SOURCE_DIR;
    std::map<std::string, std::string> docs;
    docs["README.md"] = Read(top / "README.md");
    for (const fs::path& dir : {top / "packaging/man", top / "packaging/man/ru"}) {
        if (!fs::is_directory(dir)) continue;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().extension() == ".h2m")
                docs[fs::relative(e.path(), top).string()] = Read(e.path());
    }
    for (auto& [name, text] : docs)
        for (std::size_t at = 0; (at = text.find("\\-", at)) != std::string::npos;) text.erase(at, 1);
    return docs;
}

// The help of a command line, in English.
std::string Help(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    EXPECT_EQ(cli::RunCli(args, out, err, std::make_unique<CMemorySettingsStore>(),
                          Language::English),
              cli::kExitOk)
        << err.str();
    return out.str();
}

std::set<std::string> Options(const std::string& text) {
    static const std::regex option("--[a-z][a-z0-9-]*");
    std::set<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
         it != std::sregex_iterator(); ++it)
        found.insert(it->str());
    return found;
}

TEST(Documents, NameTheSettingsFilesTheProgramUses) {
    const fs::path home = fs::temp_directory_path() / ("dravmer-docs-" + std::to_string(::getpid()));
    fs::create_directories(home);
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("DRAVMER_CONFIG_DIR", (home / "config/KorvelDevice").c_str(), 1);
    const fs::path settings = CQSettingsStore().FileName();
    const fs::path demo = sim::DemoSettingsPath();
    fs::remove_all(home);
    ASSERT_EQ(settings.parent_path().filename(), "KorvelDevice");
    const std::string settingsName = "~/.config/KorvelDevice/" + settings.filename().string();
    const std::string demoName = "~/.config/KorvelDevice/" + demo.filename().string();

    const std::regex named(R"(~/\.config/KorvelDevice/[A-Za-z0-9_.-]+)");
    for (const auto& [doc, text] : Documents()) {
        for (auto it = std::sregex_iterator(text.begin(), text.end(), named);
             it != std::sregex_iterator(); ++it) {
            const std::string name = it->str();
            EXPECT_TRUE(name == settingsName || name == demoName)
                << doc << " names " << name << "; the program uses " << settingsName << " and "
                << demoName;
        }
    }
    const auto docs = Documents();
    EXPECT_NE(docs.at("README.md").find("| settings | `" + settingsName + "`"), std::string::npos);
    for (const char* page : {"packaging/man/dravmer.h2m", "packaging/man/dravmer-cli.h2m",
                             "packaging/man/ru/dravmer.h2m", "packaging/man/ru/dravmer-cli.h2m"})
        EXPECT_NE(docs.at(page).find(".I " + settingsName + "\n"), std::string::npos) << page;
}

TEST(Documents, ExampleExperimentFilesAreNamedAsTheBenchNamesThem) {
    // A name with a digit is an example of a real file; FILE.adc and the like stand for any.
    const std::regex file(R"([A-Za-z0-9_.-]*[0-9][A-Za-z0-9_.-]*\.(adc|txt))");
    int examples = 0;
    for (const auto& [doc, text] : Documents())
        for (auto it = std::sregex_iterator(text.begin(), text.end(), file);
             it != std::sregex_iterator(); ++it) {
            SExperimentEntry entry;
            EXPECT_TRUE(ParseExperimentName(it->str(), entry))
                << doc << ": " << it->str() << " is not named as the bench names its files";
            ++examples;
        }
    EXPECT_GE(examples, 2);
}

TEST(Documents, ShowOnlyOptionsTheCommandsTake) {
    // Each command's options, from its help and its subcommands' help.
    std::map<std::string, std::set<std::string>> options;
    const std::string top = Help({"--help"});
    const std::set<std::string> global = Options(top.substr(0, top.find("Commands:")));
    ASSERT_TRUE(global.count("--config") && global.count("--demo")) << top;
    for (const cli::CommandInfo& c : cli::Commands()) {
        const std::string help = Help({c.name, "--help"});
        options[c.name] = Options(help);
        const std::size_t subs = help.find("\nSubcommands:\n");
        if (subs != std::string::npos) {
            std::istringstream lines(help.substr(subs + 14));
            for (std::string line; std::getline(lines, line) && line.rfind("  ", 0) == 0;) {
                const std::string sub = line.substr(2, line.find(' ', 2) - 2);
                for (const std::string& o : Options(Help({c.name, sub, "--help"})))
                    options[c.name].insert(o);
            }
        }
        // The usage line the command list shows (and the man page with it) names every option.
        for (const std::string& o : options[c.name]) {
            if (o == "--help") continue;
            EXPECT_NE(std::string(c.usage).find(o), std::string::npos)
                << c.name << "'s usage line lacks " << o;
        }
    }
    ASSERT_GT(options["run"].count("--seconds"), 0u);
    // Every "dravmer-cli [global options] COMMAND ..." line of the documents shows only options
    // that command or the program takes.
    // (A line of prose ends at its closing backquote.)
    const std::regex line(R"(dravmer-cli((?: --[a-z]+(?: [^ \n`-][^ \n`]*)?)*) ([a-z]+)([^\n`]*))");
    int shown = 0;
    for (const auto& [doc, text] : Documents())
        for (auto it = std::sregex_iterator(text.begin(), text.end(), line);
             it != std::sregex_iterator(); ++it) {
            const std::string command = (*it)[2];
            if (!options.count(command)) continue;  // prose: "dravmer-cli loads", ...
            std::string rest = (*it)[3];
            if (const std::size_t comment = rest.find(" #"); comment != std::string::npos)
                rest.resize(comment);
            for (const std::string& o : Options((*it)[1].str() + rest)) {
                EXPECT_TRUE(options[command].count(o) || global.count(o))
                    << doc << ": " << it->str() << ": " << command << " has no option " << o;
                ++shown;
            }
        }
    EXPECT_GT(shown, 20);
}

}  // namespace
}  // namespace dravmer
