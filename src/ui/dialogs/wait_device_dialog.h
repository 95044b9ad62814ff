#pragma once
// "Ожидание связи с прибором": shown while a start waits for a device that does not answer. The
// start keeps asking the device on its worker; the dialog closes by itself when the device
// answers; OK lets the start go on without this device, Cancel cuts the start short.
#include <QDialog>

class QLabel;
class QTimer;

namespace dravmer::ui {

class CWaitDeviceDialog : public QDialog {
    Q_OBJECT
public:
    CWaitDeviceDialog(int index, std::uint32_t address, QWidget* parent = nullptr);
    int Index() const { return m_index; }
    std::uint32_t Address() const { return m_address; }
    QString Text() const;
    // A line under the flashing text: why the device cannot answer (its port is not open).
    void SetNote(const QString& text);
    QString Note() const;

private:
    int m_index;
    std::uint32_t m_address;
    QLabel* m_label = nullptr;
    QLabel* m_note = nullptr;
    QTimer* m_flash = nullptr;
    bool m_lit = true;
};

}  // namespace dravmer::ui
