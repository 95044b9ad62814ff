#pragma once
// The window at its first-start width with four ports on: every status pane and the status
// message show their whole text, none lies on another, and a pane added later finds room too.
// Shared by the Russian and the English test programs.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>
#include <QTableWidget>
#include <cstdlib>

#include "files/file_format.h"
#include "ui/dialogs/load_experiment_dialog.h"
#include "ui/widgets/status_bar.h"
#include "ui/widgets/status_panes.h"
#include "window_rig.h"

namespace dravmer::ui::test {

inline void SettleLayouts() {
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
}

inline QRect InWindow(const QWidget* w, const QWidget* window) {
    return QRect(w->mapTo(window, QPoint(0, 0)), w->size());
}

// The whole text of a label lies inside it.
inline ::testing::AssertionResult ShowsAllOf(const QLabel* label) {
    const int needWidth = label->wordWrap() ? label->minimumSizeHint().width()
                                            : label->sizeHint().width();
    const int needHeight = label->wordWrap() ? label->heightForWidth(label->width())
                                             : label->sizeHint().height();
    if (label->width() >= needWidth && label->height() >= needHeight)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "\"" << label->text().toStdString() << "\" is " << label->width() << "x"
           << label->height() << ", needs " << needWidth << "x" << needHeight;
}

// `message`: a long status message; `extra`: the text of one more pane.
inline void ExpectStatusBarFits(CWindowRig& rig, const QString& message, const QString& extra) {
    for (int p = 0; p < kPortCount; ++p) rig.settings.SetInt(PortSection(p), "UseLink", 1);
    rig.bench->LoadSettings();
    CMainFrame& frame = *rig.frame;
    frame.resize(1024, 700);
    frame.show();
    auto* bar = qobject_cast<CStatusBar*>(frame.statusBar());
    ASSERT_NE(bar, nullptr);
    auto* more = new QLabel(extra);
    more->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar->AddGroup({more});
    if (auto* mqtt = frame.findChild<QLabel*>(QStringLiteral("mqttStatus"))) {
        mqtt->setText(QStringLiteral("MQTT: ") + extra);
        mqtt->show();
    }
    frame.TickActivity();
    frame.TickStatusTexts();
    bar->showMessage(message, 60000);
    SettleLayouts();
    ASSERT_EQ(frame.width(), 1024);

    QList<QLabel*> shown;
    for (int i = 0; i < CStatusPanes::kPaneCount; ++i) shown << frame.Panes().Pane(i);
    shown << more << frame.findChild<QLabel*>(QStringLiteral("mqttStatus"));
    shown << bar->MessageLabel();
    const QRect barRect = InWindow(bar, &frame);
    EXPECT_LE(barRect.bottom(), frame.rect().bottom());
    for (QLabel* label : shown) {
        ASSERT_NE(label, nullptr);
        EXPECT_TRUE(label->isVisibleTo(&frame)) << label->text().toStdString();
        EXPECT_TRUE(ShowsAllOf(label));
        const QRect r = InWindow(label, &frame);
        EXPECT_TRUE(barRect.contains(r)) << label->text().toStdString();
        for (QLabel* other : shown) {
            if (other == label) continue;
            EXPECT_FALSE(r.intersects(InWindow(other, &frame)))
                << label->text().toStdString() << " / " << other->text().toStdString();
        }
    }
    // This message is longer than the window is wide: it takes a second line.
    EXPECT_GE(bar->MessageLabel()->height(), 2 * bar->MessageLabel()->fontMetrics().height());
    EXPECT_EQ(bar->currentMessage(), message);
    EXPECT_EQ(bar->MessageLabel()->text(), message);
    // DRAVMER_SHOT_DIR=DIR keeps a picture of the window for looking at by eye.
    if (const char* dir = std::getenv("DRAVMER_SHOT_DIR"))
        frame.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/status-") +
                          QString::fromLatin1(
                              ::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                          QStringLiteral(".png"));
    // The message goes when its time is up or it is cleared, and its line with it.
    const int withMessage = bar->height();
    bar->clearMessage();
    SettleLayouts();
    EXPECT_FALSE(bar->MessageLabel()->isVisible());
    EXPECT_LT(bar->height(), withMessage);
}

// The experiment list shows every column's title and longest cell whole.
inline void ExpectLoadListColumnsFit(CWindowRig& rig) {
    CDeviceData store;
    for (int k = 0; k < 5; ++k) {
        CMeasRecord r;
        r.time = static_cast<std::uint32_t>(k);
        store.AddSample(r);
    }
    store.SetStartTime(1796551200);  // 8 December 2026
    std::vector<int> columns{0, 1, 2};
    ASSERT_EQ(SaveStoreAs(store, (rig.Out() + "261208-001-000101.adc").toStdString(), false,
                          columns, SFileOptions()),
              0);
    CLoadExperimentDialog dialog(rig.frame->Context(), rig.frame.get());
    dialog.show();
    SettleLayouts();
    QTableWidget* list = dialog.List();
    const QAbstractItemView* view = list;
    ASSERT_EQ(list->rowCount(), 1);
    const QFontMetrics header(list->horizontalHeader()->font());
    for (int c = 0; c < 7; ++c) {
        const QString title = list->horizontalHeaderItem(c)->text();
        EXPECT_GE(list->columnWidth(c), view->sizeHintForColumn(c)) << title.toStdString();
        EXPECT_GE(list->columnWidth(c), header.horizontalAdvance(title)) << title.toStdString();
    }
}

}  // namespace dravmer::ui::test
