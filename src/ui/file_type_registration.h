#pragma once
// ".adc" files opened by this program on the desktop: a shared-mime-info type for "*.adc", a
// desktop entry that opens a file with the program, and the default association, all under the
// user's data folder ($XDG_DATA_HOME, else ~/.local/share). Nothing outside it is touched.
#include <QString>

namespace dravmer::ui {

class CFileTypeRegistration {
public:
    static constexpr const char* kMimeType = "application/x-dravmer-adc";
    static constexpr const char* kTypeName = "Korvel Dravmer";
    static constexpr const char* kDesktopFile = "dravmer-adc.desktop";

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
    QString AssociationsPath() const;

private:
    // Refreshes the desktop's caches of the data folder, when the tools are installed; the
    // registration files themselves are the state.
    void UpdateCaches() const;

    QString m_dataDir;
};

// The association file with `mimeType`'s default set to `entry` (empty: removed), other lines
// kept as they were.
QString SetDefaultApplication(const QString& text, const QString& mimeType, const QString& entry);
// The default entry of `mimeType` in an association file, empty when none.
QString DefaultApplication(const QString& text, const QString& mimeType);

}  // namespace dravmer::ui
