#include <QApplication>

#include "platform/qt/qsettings_store.h"
#include "ui/main_frame.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName("KorvelDevice");
    QApplication::setApplicationName("Dravmer");
    dravmer::CQSettingsStore settings("");
    dravmer::CBench bench(settings);
    bench.LoadSettings();
    bench.OpenPorts();
    dravmer::ui::CMainFrame frame(bench, settings);
    frame.show();
    const int rc = app.exec();
    bench.SaveExitSettings();
    bench.ClosePorts();
    return rc;
}
