#include "ui/dialogs/wait_device_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace dravmer::ui {

CWaitDeviceDialog::CWaitDeviceDialog(int index, std::uint32_t address, QWidget* parent)
    : QDialog(parent), m_index(index), m_address(address) {
    setWindowTitle(tr("Ожидание связи с прибором"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    m_label = new QLabel(this);
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setText(tr("Ожидание\nвключения\nприбора\n№ %1").arg(address));
    QFont font = m_label->font();
    font.setPointSize(10);
    font.setBold(true);
    m_label->setFont(font);
    m_label->setMinimumSize(220, 110);
    // Green letters on a dark ground so the flashing text stays readable.
    m_label->setAutoFillBackground(true);
    m_label->setStyleSheet(QStringLiteral("QLabel { background: #202020; color: #00ff00; }"));
    m_label->setAccessibleName(tr("Ожидание включения прибора"));
    layout->addWidget(m_label);
    m_note = new QLabel(this);
    m_note->setWordWrap(true);
    m_note->hide();
    layout->addWidget(m_note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    buttons->button(QDialogButtonBox::Ok)->setToolTip(tr("Продолжить запуск без ответа этого прибора"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Отмена"));
    buttons->button(QDialogButtonBox::Cancel)->setToolTip(tr("Не запускать эксперимент"));
    buttons->button(QDialogButtonBox::Cancel)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    // The dialog takes the size its texts need, growing when the note appears and shrinking
    // when it goes, so the note never lies over the device number.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_flash = new QTimer(this);
    connect(m_flash, &QTimer::timeout, this, [this] {
        m_lit = !m_lit;
        m_label->setStyleSheet(m_lit ? QStringLiteral("QLabel { background: #202020; color: #00ff00; }")
                                     : QStringLiteral("QLabel { background: #202020; color: #204020; }"));
    });
    m_flash->start(500);
}

QString CWaitDeviceDialog::Text() const { return m_label->text(); }

void CWaitDeviceDialog::SetNote(const QString& text) {
    m_note->setText(text);
    m_note->setVisible(!text.isEmpty());
}

QString CWaitDeviceDialog::Note() const { return m_note->text(); }

}  // namespace dravmer::ui
