#include "ui/file_type_registration.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

namespace dravmer::ui {

namespace {

const QString kDefaultSection = QStringLiteral("[Default Applications]");

bool WriteText(const QString& path, const QString& text) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(text.toUtf8());
    return file.commit();
}

QString ReadText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

// A program path as the Exec key of a desktop entry takes it.
QString ExecQuoted(const QString& program) {
    if (!program.contains(QRegularExpression(QStringLiteral("[\\s\"'\\\\$`]")))) return program;
    QString q = program;
    q.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    q.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    q.replace(QLatin1Char('`'), QStringLiteral("\\`"));
    q.replace(QLatin1Char('$'), QStringLiteral("\\$"));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

}  // namespace

CFileTypeRegistration::CFileTypeRegistration()
    : m_dataDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)) {}

QString CFileTypeRegistration::MimePackagePath() const {
    return m_dataDir + QStringLiteral("/mime/packages/dravmer.xml");
}
QString CFileTypeRegistration::IconPath() const {
    return m_dataDir + QStringLiteral("/icons/hicolor/scalable/apps/dravmer.svg");
}
QStringList CFileTypeRegistration::LegacyPaths() const {
    return {m_dataDir + QStringLiteral("/mime/packages/dravmer-adc.xml"),
            m_dataDir + QStringLiteral("/applications/dravmer-adc.desktop")};
}
QString CFileTypeRegistration::DesktopEntryPath() const {
    return m_dataDir + QStringLiteral("/applications/") + QLatin1String(kDesktopFile);
}
QString CFileTypeRegistration::AssociationsPath() const {
    return m_dataDir + QStringLiteral("/applications/mimeapps.list");
}

QString LauncherFor(const QString& packagedEntry, const QString& program) {
    QStringList lines;
    for (const QString& line : packagedEntry.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("TryExec="))) continue;
        if (line.startsWith(QStringLiteral("Exec=")))
            lines << QStringLiteral("Exec=") + ExecQuoted(program) + QStringLiteral(" %f");
        else
            lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

QString SetDefaultApplication(const QString& text, const QString& mimeType, const QString& entry) {
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    const QString key = mimeType + QLatin1Char('=');
    int section = -1;
    int sectionEnd = static_cast<int>(lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        const QString t = lines[i].trimmed();
        if (t.startsWith(QLatin1Char('['))) {
            if (section >= 0) {
                sectionEnd = i;
                break;
            }
            if (t == kDefaultSection) section = i;
        }
    }
    if (section >= 0) {
        for (int i = sectionEnd - 1; i > section; --i)
            if (lines[i].trimmed().startsWith(key)) {
                lines.removeAt(i);
                --sectionEnd;
            }
    }
    if (!entry.isEmpty()) {
        if (section < 0) {
            if (!lines.isEmpty() && !lines.last().trimmed().isEmpty()) lines << QString();
            lines << kDefaultSection;
            sectionEnd = static_cast<int>(lines.size());
        }
        lines.insert(sectionEnd, key + entry + QLatin1Char(';'));
    }
    return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString DefaultApplication(const QString& text, const QString& mimeType) {
    bool inSection = false;
    const QString key = mimeType + QLatin1Char('=');
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString t = line.trimmed();
        if (t.startsWith(QLatin1Char('['))) inSection = t == kDefaultSection;
        else if (inSection && t.startsWith(key)) return t.mid(key.size()).section(QLatin1Char(';'), 0, 0);
    }
    return {};
}

bool CFileTypeRegistration::IsRegistered() const {
    const QString package = ReadText(MimePackagePath());
    if (!package.contains(QLatin1String(kMimeType)) ||
        !package.contains(QStringLiteral("pattern=\"*.adc\"")))
        return false;
    const QString entry = ReadText(DesktopEntryPath());
    bool opens = false;
    for (const QString& line : entry.split(QLatin1Char('\n')))
        if (line.startsWith(QStringLiteral("Exec=")) && line.size() > 5) opens = true;
    if (!opens || !entry.contains(QLatin1String(kMimeType))) return false;
    return DefaultApplication(ReadText(AssociationsPath()), QLatin1String(kMimeType)) ==
           QLatin1String(kDesktopFile);
}

bool CFileTypeRegistration::Register(const QString& programPath) {
    const QString program =
        programPath.isEmpty() ? QCoreApplication::applicationFilePath() : programPath;
    // The same files the package installs, built into the program.
    const QString package = ReadText(QStringLiteral(":/desktop/dravmer.xml"));
    const QString entry = ReadText(QStringLiteral(":/desktop/dravmer.desktop"));
    const QString icon = ReadText(QStringLiteral(":/desktop/icons/dravmer.svg"));
    if (package.isEmpty() || entry.isEmpty() || icon.isEmpty()) return false;
    if (!WriteText(MimePackagePath(), package)) return false;
    if (!WriteText(DesktopEntryPath(), LauncherFor(entry, program))) return false;
    if (!WriteText(IconPath(), icon)) return false;
    for (const QString& path : LegacyPaths()) QFile::remove(path);
    const QString associations = SetDefaultApplication(
        ReadText(AssociationsPath()), QLatin1String(kMimeType), QLatin1String(kDesktopFile));
    if (!WriteText(AssociationsPath(), associations)) return false;
    UpdateCaches();
    return true;
}

bool CFileTypeRegistration::Unregister() {
    bool ok = true;
    const QStringList files =
        QStringList{MimePackagePath(), DesktopEntryPath(), IconPath()} + LegacyPaths();
    for (const QString& path : files)
        if (QFile::exists(path) && !QFile::remove(path)) ok = false;
    const QString text = ReadText(AssociationsPath());
    if (!DefaultApplication(text, QLatin1String(kMimeType)).isEmpty() &&
        !WriteText(AssociationsPath(), SetDefaultApplication(text, QLatin1String(kMimeType), {})))
        ok = false;
    UpdateCaches();
    return ok && !IsRegistered();
}

void CFileTypeRegistration::UpdateCaches() const {
    const QString mime = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
    if (!mime.isEmpty() && QDir(m_dataDir + QStringLiteral("/mime")).exists())
        QProcess::startDetached(mime, {m_dataDir + QStringLiteral("/mime")});
    const QString desktop = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (!desktop.isEmpty() && QDir(m_dataDir + QStringLiteral("/applications")).exists())
        QProcess::startDetached(desktop, {m_dataDir + QStringLiteral("/applications")});
}

}  // namespace dravmer::ui
