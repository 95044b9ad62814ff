// Dialogs grow to their texts: a note or an error shown later takes room of its own instead of
// squeezing or covering the other lines.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>

#include "ui/dialogs/about_dialog.h"
#include "ui/dialogs/wait_device_dialog.h"
#include "window_rig.h"

namespace dravmer::ui {
namespace {

// Lets the layouts take the pending changes.
void Settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// The whole text of a label lies inside its rectangle.
::testing::AssertionResult HoldsItsText(const QLabel* label) {
    const QSize need = label->wordWrap() ? QSize(label->minimumSizeHint().width(),
                                                 label->heightForWidth(label->width()))
                                         : label->sizeHint();
    if (label->width() >= need.width() && label->height() >= need.height())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "\"" << label->text().toStdString() << "\" is " << label->width() << "x"
           << label->height() << ", needs " << need.width() << "x" << need.height();
}

// Every visible label of the dialog shows its whole text and none lies on another.
void ExpectLabelsFit(QWidget& dialog) {
    QList<QLabel*> shown;
    for (QLabel* label : dialog.findChildren<QLabel*>())
        if (label->isVisible() && !label->text().isEmpty()) shown << label;
    ASSERT_FALSE(shown.isEmpty());
    for (QLabel* label : shown) {
        EXPECT_TRUE(HoldsItsText(label));
        const QRect inDialog(label->mapTo(&dialog, QPoint(0, 0)), label->size());
        EXPECT_TRUE(dialog.rect().contains(inDialog)) << label->text().toStdString();
        for (QLabel* other : shown) {
            if (other == label) continue;
            const QRect otherRect(other->mapTo(&dialog, QPoint(0, 0)), other->size());
            EXPECT_FALSE(inDialog.intersects(otherRect))
                << label->text().toStdString() << " / " << other->text().toStdString();
        }
    }
}

TEST(DialogFit, WaitDialogMakesRoomForItsNote) {
    test::App();
    CWaitDeviceDialog dialog(3, 4000123456u);
    dialog.show();
    Settle();
    ExpectLabelsFit(dialog);
    const int before = dialog.height();
    dialog.SetNote(
        QStringLiteral("Порт 1 не открыт: Ошибка инициализации локального СОМ порта. "
                       "(/dev/ttyUSB0: No such file or directory)"));
    Settle();
    ExpectLabelsFit(dialog);
    EXPECT_GT(dialog.height(), before);
    // The note goes again when the port opens; the device number keeps its whole text.
    dialog.SetNote(QString());
    Settle();
    ExpectLabelsFit(dialog);
}

TEST(DialogFit, AboutBoxGrowsForTheRefusalOfABadAddress) {
    test::App();
    CAboutDialog dialog(QStringLiteral("05.43"), QString());
    dialog.show();
    Settle();
    ExpectLabelsFit(dialog);
    dialog.ServerEdit()->setText(QStringLiteral("files.lab.local:99999999"));
    dialog.accept();
    Settle();
    ASSERT_TRUE(dialog.ErrorLabel()->isVisible());
    EXPECT_TRUE(dialog.isVisible());
    ExpectLabelsFit(dialog);
}

}  // namespace
}  // namespace dravmer::ui
