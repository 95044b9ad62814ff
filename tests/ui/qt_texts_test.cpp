// Qt's own texts (standard buttons, message box details) are Russian after a Russian start-up.
// (The English run has a test program of its own: translators are process-wide.)
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>

#include "ui/qt_translations.h"
#include "ui_test_env.h"

namespace dravmer::ui {
namespace {

TEST(QtTexts, StandardButtonsAndDetailsAreRussianAfterStartUp) {
    QApplication& app = test::App();
    ASSERT_EQ(InstallTranslations(app, Language::Russian), TranslationResult::Installed);
    // A second call changes nothing.
    EXPECT_EQ(InstallTranslations(app, Language::Russian), TranslationResult::Installed);
    EXPECT_EQ(UiLanguage(), Language::Russian);
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                             QDialogButtonBox::Close);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QString("Отмена"));
    EXPECT_EQ(buttons.button(QDialogButtonBox::Close)->text(), QString("Закрыть"));
    QMessageBox box(QMessageBox::Warning, "x", "y");
    box.setDetailedText("z");
    bool russianDetails = false;
    for (QAbstractButton* b : box.buttons())
        russianDetails = russianDetails || b->text().startsWith(QString("Показать"));
    EXPECT_TRUE(russianDetails);
}

}  // namespace
}  // namespace dravmer::ui
