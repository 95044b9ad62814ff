// Why a file is not an experiment file, in the English window: the load-at-start box says it
// in English to the end.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "ui/dialogs/load_at_start_dialog.h"
#include "ui/file_problem_text.h"
#include "ui/qt_translations.h"
#include "ui/window_rig.h"

namespace dravmer::ui {
namespace {

TEST(EnglishFileProblem, EveryFaultHasItsEnglishSentenceAndTheStartUpBoxEndsInEnglish) {
    QApplication& app = test::App();
    ASSERT_EQ(InstallTranslations(app, Language::English), TranslationResult::Installed);
    test::ExpectEveryFileProblemWorded(false);

    test::CWindowRig rig({});
    const QString missing = rig.Out() + QStringLiteral("261206-009-000101.adc");
    QString box;
    QTimer::singleShot(0, [&box] {
        if (auto* b = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            box = b->text();
            b->accept();
        }
    });
    EXPECT_FALSE(LoadExperimentAtStart(rig.frame->Context(), missing, nullptr));
    EXPECT_EQ(box, QStringLiteral("Error loading the file:\r\n") + missing +
                       QStringLiteral("\r\nthere is no such file"));
}

}  // namespace
}  // namespace dravmer::ui
