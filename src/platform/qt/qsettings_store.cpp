#include "platform/qt/qsettings_store.h"

#include <QByteArray>
#include <QSettings>
#include <QString>

namespace dravmer {

namespace {
QString Key(const std::string& section, const std::string& name) {
    return QString::fromStdString(section + "/" + name);
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
}

CQSettingsStore::~CQSettingsStore() { m_settings->sync(); }

int CQSettingsStore::GetInt(const std::string& section, const std::string& name, int def) const {
    std::lock_guard lock(*m_mutex);
    QVariant v = m_settings->value(Key(section, name));
    if (!v.isValid()) return def;
    return ParseCInt(v.toString().toStdString());
}

void CQSettingsStore::SetInt(const std::string& section, const std::string& name, int value) {
    std::lock_guard lock(*m_mutex);
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
    m_settings->sync();
}

std::string CQSettingsStore::FileName() const { return m_settings->fileName().toStdString(); }

}  // namespace dravmer
