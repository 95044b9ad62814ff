#pragma once
// Qt's own texts (standard buttons, the file, folder and colour dialogs, the edit context menu)
// in Russian, like the rest of the window, whatever language the system speaks.
class QCoreApplication;

namespace dravmer::ui {

// Loads Qt's Russian catalogue from Qt's translations folder into the application; false when
// the catalogue is not installed (the texts stay English).
bool InstallQtTranslations(QCoreApplication& app);

}  // namespace dravmer::ui
