// The Russian window at its first-start width: the status panes and a long message fit.
#include "status_fit.h"

namespace dravmer::ui {
namespace {

TEST(StatusFit, FourPortsALongMessageAndOneMorePaneFitAt1024Pixels) {
    test::CWindowRig rig({});
    test::ExpectStatusBarFits(
        rig,
        QStringLiteral("Записано в /home/operator/Эксперименты/2026/12/08/лаборатория-2/"
                       "серия-испытаний-преобразователей-расхода-после-ремонта/"
                       "261208-001-все-приборы-стенда-номер-три.csv: 43200 записей 100 приборов."),
        QStringLiteral("Соединение потеряно, повтор через 30 с"));
}

TEST(StatusFit, TheExperimentListShowsEveryColumnWhole) {
    test::CWindowRig rig({});
    test::ExpectLoadListColumnsFit(rig);
}

}  // namespace
}  // namespace dravmer::ui
