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
        m_status = "Файл настроек " + path.toStdString() + " не читается.";
        return;
    }
    QFile file(path);
    if (!file.exists()) return;
    if (!file.open(QIODevice::ReadOnly)) {
        m_status = "Файл настроек " + path.toStdString() + " не читается.";
        return;
    }
    m_badLines = UnparsedLines(file.readAll());
    if (m_badLines.empty() && m_settings->status() != QSettings::FormatError) return;
    m_warning = "В файле настроек " + path.toStdString() + " есть непрочитанные строки" +
                (m_badLines.empty() ? std::string(".") : ": " + LineList(m_badLines) + ".");
}

bool CQSettingsStore::KeepBackupLocked() {
    // Writing rewrites the whole file from what was read, so the lines that could not be read
    // would be lost: the file is copied beside itself first, once.
    if (m_backedUp || !m_warning || !m_dirty) return true;
    const QString path = m_settings->fileName();
    for (int n = 0; n < 100; ++n) {
        const QString backup = path + ".bak" + (n ? QString::number(n) : QString());
        if (QFile::exists(backup)) continue;
        if (!QFile::copy(path, backup)) break;
        m_backedUp = true;
        *m_warning += " Исходный файл сохранён как " + backup.toStdString() + ".";
        return true;
    }
    m_status = "Настройки не записаны: не удалось сохранить копию файла " + path.toStdString() +
               " с непрочитанными строками.";
    return false;
}

void CQSettingsStore::SyncLocked() {
    if (!KeepBackupLocked()) return;
    m_settings->sync();
    m_dirty = false;
    if (m_settings->status() == QSettings::AccessError) {
        m_status = "Настройки не записаны в файл " + m_settings->fileName().toStdString() +
                   ": файл недоступен для записи.";
    }
}

std::optional<std::string> CQSettingsStore::Status() const {
    std::lock_guard lock(*m_mutex);
    return m_status;
}

std::optional<std::string> CQSettingsStore::LoadWarning() const {
    std::lock_guard lock(*m_mutex);
    return m_warning;
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
