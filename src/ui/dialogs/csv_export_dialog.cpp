#include "ui/dialogs/csv_export_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace dravmer::ui {

CCsvExportDialog::CCsvExportDialog(const QString& path, int devices, qint64 records, bool hasRange,
                                   std::uint32_t from, std::uint32_t to, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("Экспорт в CSV"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        tr("Эксперимент на экране: приборов %1, записей %2. Одна таблица: дата и время, адрес "
           "прибора, параметры.")
            .arg(devices)
            .arg(records),
        this));

    auto* row = new QHBoxLayout;
    auto* label = new QLabel(tr("Файл:"), this);
    m_path = new QLineEdit(path, this);
    m_path->setAccessibleName(tr("Файл CSV"));
    m_path->setMinimumWidth(360);
    label->setBuddy(m_path);
    auto* browse = new QPushButton(tr("Обзор..."), this);
    connect(browse, &QPushButton::clicked, this, [this] {
        // The export never replaces a file, so the dialog does not offer to.
        const QString chosen = QFileDialog::getSaveFileName(
            this, tr("Экспорт в CSV"), m_path->text(), tr("Таблицы CSV (*.csv)"), nullptr,
            QFileDialog::DontConfirmOverwrite);
        if (!chosen.isEmpty()) m_path->setText(chosen);
    });
    row->addWidget(label);
    row->addWidget(m_path, 1);
    row->addWidget(browse);
    layout->addLayout(row);

    m_units = new QCheckBox(tr("Вторая строка заголовка: единицы измерения"), this);
    m_excel = new QCheckBox(
        tr("Для Excel: разделитель «;», десятичная запятая, метка UTF-8 в начале"), this);
    m_range = new QCheckBox(hasRange ? tr("Только диапазон статистики: %1 - %2 с").arg(from).arg(to)
                                     : tr("Только диапазон статистики (диапазон не выбран)"),
                            this);
    m_range->setEnabled(hasRange);
    layout->addWidget(m_units);
    layout->addWidget(m_excel);
    layout->addWidget(m_range);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Экспорт"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CCsvExportDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QString CCsvExportDialog::Path() const {
    QString path = m_path->text().trimmed();
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".csv");
    return path;
}
bool CCsvExportDialog::Units() const { return m_units->isChecked(); }
bool CCsvExportDialog::Excel() const { return m_excel->isChecked(); }
bool CCsvExportDialog::RangeOnly() const { return m_range->isEnabled() && m_range->isChecked(); }

void CCsvExportDialog::accept() {
    const QString path = Path();
    QString problem;
    if (path.isEmpty())
        problem = tr("Укажите файл, в который записать таблицу.");
    else if (QFileInfo::exists(path))
        problem = tr("Файл %1 уже есть; экспорт не заменяет файлы. Выберите другое имя.").arg(path);
    else if (!QFileInfo(QFileInfo(path).absolutePath()).isDir())
        problem = tr("Папки %1 нет.").arg(QFileInfo(path).absolutePath());
    if (!problem.isEmpty()) {
        auto* box = new QMessageBox(QMessageBox::Warning, tr("Экспорт в CSV"), problem,
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        m_problem = box;
        m_path->setFocus();
        return;
    }
    QDialog::accept();
}

}  // namespace dravmer::ui
