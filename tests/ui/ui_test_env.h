#pragma once
// One QApplication for the whole test program (offscreen), made on first use.
#include <QApplication>

namespace dravmer::ui::test {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "test_ui";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        QApplication::setOrganizationName("KorvelDeviceTest");
        QApplication::setApplicationName("DravmerTest");
        return new QApplication(argc, argv);
    }();
    return *app;
}

}  // namespace dravmer::ui::test
