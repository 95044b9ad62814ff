// Qt's own texts (standard buttons, message box details) are Russian after start-up.
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
    ASSERT_TRUE(InstallQtTranslations(app));
    EXPECT_TRUE(InstallQtTranslations(app));  // a second call changes nothing
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
