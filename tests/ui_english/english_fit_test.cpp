// The English window at its first-start width: the status panes and a long message fit, and
// the experiment list's columns (longer dates than titles) show whole.
#include "ui/qt_translations.h"
#include "ui/status_fit.h"

namespace dravmer::ui {
namespace {

void English() {
    QApplication& app = test::App();
    ASSERT_EQ(InstallTranslations(app, Language::English), TranslationResult::Installed);
}

TEST(EnglishFit, FourPortsALongMessageAndOneMorePaneFitAt1024Pixels) {
    English();
    test::CWindowRig rig({});
    test::ExpectStatusBarFits(
        rig,
        QStringLiteral("Written to /home/operator/Experiments/2026/12/08/laboratory-2/"
                       "series-of-flow-meter-front-end-tests-after-the-repair/"
                       "261208-001-all-devices-of-bench-number-three.csv: 43200 records of 100 "
                       "devices."),
        QStringLiteral("Connection lost, trying again in 30 s"));
}

TEST(EnglishFit, TheExperimentListShowsTheDateTimeColumnWhole) {
    English();
    test::CWindowRig rig({});
    test::ExpectLoadListColumnsFit(rig);
}

}  // namespace
}  // namespace dravmer::ui
