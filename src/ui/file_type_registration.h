#pragma once
// ".adc" files opened by this program on the desktop, for a user without the package (which
// installs the same files system-wide): the package's shared-mime-info type for "*.adc", its
// launcher with Exec pointing at the running program, its icon, and the default association,
// all under the user's data folder ($XDG_DATA_HOME, else ~/.local/share). Nothing outside it is
// touched.
#include <QString>
#include <QStringList>

namespace dravmer::ui {

class CFileTypeRegistration {
public:
    static constexpr const char* kMimeType = "application/x-dravmer-adc";
    // The launcher's name is the package's, so the window (setDesktopFileName) matches it.
    static constexpr const char* kDesktopFile = "dravmer.desktop";

    // The data folder the files go to (read at construction).
    CFileTypeRegistration();
    explicit CFileTypeRegistration(const QString& dataDir) : m_dataDir(dataDir) {}

    // The type is known with its "*.adc" pattern, an entry opens it with a program, and that
    // entry is the default for the type. Which program the entry names is not checked.
    bool IsRegistered() const;
    // `program` empty: the running executable. Stops at the first file that cannot be written.
    bool Register(const QString& program = {});
    // Removes the type, the entry and the association; true when none is left.
    bool Unregister();

    QString MimePackagePath() const;
    QString DesktopEntryPath() const;
    QString IconPath() const;
    QString AssociationsPath() const;

private:
    // Files an earlier version of the program wrote (a hidden launcher and its own type file).
    QStringList LegacyPaths() const;
    // Refreshes the desktop's caches of the data folder, when the tools are installed; the
    // registration files themselves are the state.
    void UpdateCaches() const;

    QString m_dataDir;
};

// The package's launcher text with Exec opening files with `program` (TryExec dropped).
QString LauncherFor(const QString& packagedEntry, const QString& program);

// The association file with `mimeType`'s default set to `entry` (empty: removed), other lines
// kept as they were.
QString SetDefaultApplication(const QString& text, const QString& mimeType, const QString& entry);
// The default entry of `mimeType` in an association file, empty when none.
QString DefaultApplication(const QString& text, const QString& mimeType);

}  // namespace dravmer::ui
