#include "ui/dialogs/about_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/icons.h"
#include "update/update_service.h"

namespace dravmer::ui {

CAboutDialog::CAboutDialog(const QString& version, const QString& server, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("О программе Dravmer"));
    setObjectName(QStringLiteral("aboutDialog"));

    auto* icon = new QLabel(this);
    icon->setPixmap(Icon("dravmer").pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);
    auto* name = new QLabel(tr("<b>Dravmer</b> версия %1").arg(version), this);
    name->setObjectName(QStringLiteral("versionLabel"));
    auto* purpose =
        new QLabel(tr("Испытания аналоговой части электромагнитных расходомеров."), this);
    purpose->setWordWrap(true);

    m_server = new QLineEdit(server, this);
    m_server->setAccessibleName(tr("Сервер обновлений"));
    m_server->setPlaceholderText(tr("имя или адрес[:порт]"));
    m_server->setMinimumWidth(260);
    auto* form = new QFormLayout;
    form->addRow(tr("Сервер обновлений:"), m_server);
    auto* hint = new QLabel(tr("Новая версия ищется на этом сервере при каждом запуске программы. "
                               "Пусто — обновления не проверяются."),
                            this);
    hint->setWordWrap(true);
    m_error = new QLabel(this);
    m_error->setStyleSheet(QStringLiteral("color: #b00000"));
    m_error->setWordWrap(true);
    m_error->hide();

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    m_buttons->button(QDialogButtonBox::Cancel)->setText(tr("Отмена"));
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CAboutDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* text = new QVBoxLayout;
    text->addWidget(name);
    text->addWidget(purpose);
    text->addSpacing(8);
    text->addLayout(form);
    text->addWidget(hint);
    text->addWidget(m_error);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_buttons);
    // The box takes the size its wrapped lines need, and grows when the refusal of an address
    // appears, instead of squeezing every line into one.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString CAboutDialog::Server() const { return m_server->text().trimmed(); }

void CAboutDialog::accept() {
    const QString text = Server();
    std::string host;
    int port = kFileServerTcpPort;
    if (!text.isEmpty() && !ParseServerAddress(text.toStdString(), host, port)) {
        m_error->setText(tr("Неверный адрес сервера «%1»: нужно имя или адрес, "
                            "после двоеточия — порт от 1 до 65535.")
                             .arg(text));
        m_error->show();
        m_server->setFocus();
        return;
    }
    QDialog::accept();
}

}  // namespace dravmer::ui
