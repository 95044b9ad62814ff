#include <QApplication>

#include <iostream>

#include "platform/qt/qsettings_store.h"
#include "ui/main_frame.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName("KorvelDevice");
    QApplication::setApplicationName("Dravmer");
    std::string config;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--config" && i + 1 < args.size()) config = args[++i].toStdString();
    }
    dravmer::CQSettingsStore settings(config);
    dravmer::ui::CMainFrame frame(settings);
    if (settings.GetInt("WindowPos", "showCmd", 1) == 3) frame.showMaximized();
    else frame.show();
    return app.exec();
}
