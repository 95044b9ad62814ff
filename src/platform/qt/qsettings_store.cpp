#include "platform/qt/qsettings_store.h"

#include <QByteArray>
#include <QFile>
#include <QSettings>
#include <QString>

namespace dravmer {

namespace {
QString Key(const std::string& section, const std::string& name) {
    return QString::fromStdString(section + "/" + name);
}

// Lines of an INI text the settings reader would drop or change: not blank, not a comment, not
// a whole "[section]" and not "key=value" with a plain key.
std::vector<int> UnparsedLines(const QByteArray& text) {
    std::vector<int> bad;
    int number = 0;
    for (const QByteArray& raw : text.split('\n')) {
        ++number;
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#')) continue;
        if (line.startsWith('[')) {
            if (!line.endsWith(']')) bad.push_back(number);
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0 || line.left(eq).trimmed().isEmpty() || line.left(eq).contains('"'))
            bad.push_back(number);
    }
    return bad;
}

std::string LineList(const std::vector<int>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size() && i < 20; ++i)
        text += (i ? ", " : "") + std::to_string(lines[i]);
    if (lines.size() > 20) text += ", ...";
    return text;
}
}  // namespace

CQSettingsStore::CQSettingsStore(const std::string& iniPath)
    : m_mutex(std::make_unique<std::mutex>()) {
    if (iniPath.empty()) {
        m_settings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                                 "KorvelDevice", "Dravmer");
    } else {
        m_settings = std::make_unique<QSettings>(QString::fromStdString(iniPath),
                                                 QSettings::IniFormat);
    }
    CheckLoaded();
}

CQSettingsStore::~CQSettingsStore() {
    std::lock_guard lock(*m_mutex);
    SyncLocked();
}

void CQSettingsStore::CheckLoaded() {
    const QString path = m_settings->fileName();
    if (m_settings->status() == QSettings::AccessError) {
        m_failure = Failure::Unreadable;
        m_failedPath = path.toStdString();
        return;
    }
    QFile file(path);
    if (!file.exists()) return;
    if (!file.open(QIODevice::ReadOnly)) {
        m_failure = Failure::Unreadable;
        m_failedPath = path.toStdString();
        return;
    }
    m_badLines = UnparsedLines(file.readAll());
    m_unread = !m_badLines.empty() || m_settings->status() == QSettings::FormatError;
}

bool CQSettingsStore::KeepBackupLocked() {
    // Writing rewrites the whole file from what was read, so the lines that could not be read
    // would be lost: the file is copied beside itself first, once.
    if (m_backedUp || !m_unread || !m_dirty) return true;
    const QString path = m_settings->fileName();
    for (int n = 0; n < 100; ++n) {
        const QString backup = path + ".bak" + (n ? QString::number(n) : QString());
        if (QFile::exists(backup)) continue;
        if (!QFile::copy(path, backup)) break;
        m_backedUp = true;
        m_backup = backup.toStdString();
        return true;
    }
    m_failure = Failure::BackupFailed;
    m_failedPath = path.toStdString();
    return false;
}

void CQSettingsStore::SyncLocked() {
    if (!KeepBackupLocked()) return;
    m_settings->sync();
    m_dirty = false;
    if (m_settings->status() == QSettings::AccessError) {
        m_failure = Failure::NotWritable;
        m_failedPath = m_settings->fileName().toStdString();
    }
}

std::optional<std::string> CQSettingsStore::Status(Language language) const {
    std::lock_guard lock(*m_mutex);
    const bool en = language == Language::English;
    const std::string& path = m_failedPath;
    switch (m_failure) {
        case Failure::None:
            return std::nullopt;
        case Failure::Unreadable:
            return en ? "The settings file " + path + " cannot be read."
                      : "Файл настроек " + path + " не читается.";
        case Failure::BackupFailed:
            return en ? "Settings not written: the file " + path +
                            " with unread lines could not be copied first."
                      : "Настройки не записаны: не удалось сохранить копию файла " + path +
                            " с непрочитанными строками.";
        case Failure::NotWritable:
            return en ? "Settings not written to the file " + path + ": the file cannot be written."
                      : "Настройки не записаны в файл " + path + ": файл недоступен для записи.";
    }
    return std::nullopt;
}

std::optional<std::string> CQSettingsStore::LoadWarning(Language language) const {
    std::lock_guard lock(*m_mutex);
    if (!m_unread) return std::nullopt;
    const bool en = language == Language::English;
    const std::string path = m_settings->fileName().toStdString();
    const std::string lines =
        m_badLines.empty() ? std::string(".") : ": " + LineList(m_badLines) + ".";
    std::string text =
        en ? "The settings file " + path + " has lines that could not be read" + lines
           : "В файле настроек " + path + " есть непрочитанные строки" + lines;
    if (m_backedUp)
        text += en ? " The original file was saved as " + m_backup + "."
                   : " Исходный файл сохранён как " + m_backup + ".";
    return text;
}

int CQSettingsStore::GetInt(const std::string& section, const std::string& name, int def) const {
    std::lock_guard lock(*m_mutex);
    QVariant v = m_settings->value(Key(section, name));
    if (!v.isValid()) return def;
    return ParseCInt(v.toString().toStdString());
}

void CQSettingsStore::SetInt(const std::string& section, const std::string& name, int value) {
    std::lock_guard lock(*m_mutex);
    m_dirty = true;
    m_settings->setValue(Key(section, name), value);
}

std::string CQSettingsStore::GetString(const std::string& section, const std::string& name,
                                       const std::string& def) const {
    std::lock_guard lock(*m_mutex);
    QVariant v = m_settings->value(Key(section, name));
    if (!v.isValid()) return def;
    return v.toString().toStdString();
}

void CQSettingsStore::SetString(const std::string& section, const std::string& name,
                                const std::string& value) {
    std::lock_guard lock(*m_mutex);
    m_dirty = true;
    m_settings->setValue(Key(section, name), QString::fromStdString(value));
}

Bytes CQSettingsStore::GetBinary(const std::string& section, const std::string& name) const {
    std::lock_guard lock(*m_mutex);
    QVariant v = m_settings->value(Key(section, name));
    if (!v.isValid()) return {};
    QByteArray a = v.toByteArray();
    return Bytes(a.begin(), a.end());
}

void CQSettingsStore::SetBinary(const std::string& section, const std::string& name,
                                const Bytes& value) {
    std::lock_guard lock(*m_mutex);
    m_dirty = true;
    m_settings->setValue(Key(section, name),
                         QByteArray(reinterpret_cast<const char*>(value.data()),
                                    static_cast<qsizetype>(value.size())));
}

bool CQSettingsStore::Contains(const std::string& section, const std::string& name) const {
    std::lock_guard lock(*m_mutex);
    return m_settings->contains(Key(section, name));
}

void CQSettingsStore::Flush() {
    std::lock_guard lock(*m_mutex);
    SyncLocked();
}

std::string CQSettingsStore::FileName() const { return m_settings->fileName().toStdString(); }

}  // namespace dravmer
