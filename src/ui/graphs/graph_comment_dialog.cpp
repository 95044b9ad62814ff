#include "ui/graphs/graph_comment_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "graph/graph_settings.h"

namespace dravmer::ui {

CGraphCommentDialog::CGraphCommentDialog(ISettingsStore& settings, const QString& text,
                                         bool shown, const QString& labelPath, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setWindowTitle(tr("Редактировать комментарий к графику"));
    auto* layout = new QVBoxLayout(this);
    m_edit = new QPlainTextEdit(text.isEmpty() ? QString::fromUtf8(graph::kDefaultCaption) : text);
    m_edit->setAccessibleName(tr("Комментарий"));
    m_edit->setMinimumSize(420, 140);
    layout->addWidget(m_edit);
    m_show = new QCheckBox(tr("Показывать комментарий"));
    m_show->setChecked(shown);
    layout->addWidget(m_show);
    m_target = new QLabel(labelPath.isEmpty()
                              ? tr("На экране нет эксперимента с файлами: комментарий останется "
                                   "только подписью графика, файл комментария не записывается.")
                              : tr("Комментарий эксперимента будет записан в файл:\n%1")
                                    .arg(QDir::toNativeSeparators(labelPath)));
    m_target->setWordWrap(true);
    m_target->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_target);
    auto* row = new QHBoxLayout;
    auto* save = new QPushButton(tr("Сохранить"));
    auto* load = new QPushButton(tr("Загрузить"));
    save->setToolTip(tr("Сохранить текст в настройках"));
    load->setToolTip(tr("Загрузить текст из настроек"));
    row->addWidget(save);
    row->addWidget(load);
    row->addStretch();
    layout->addLayout(row);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    box->button(QDialogButtonBox::Cancel)->setText(tr("Отмена"));
    layout->addWidget(box);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(save, &QPushButton::clicked, this, [this] {
        graph::SaveComments(m_settings, m_edit->toPlainText().toStdString());
        m_settings.Flush();
    });
    connect(load, &QPushButton::clicked, this, [this] {
        m_edit->setPlainText(QString::fromStdString(graph::LoadComments(m_settings)));
    });
}

QString CGraphCommentDialog::Text() const { return m_edit->toPlainText(); }
bool CGraphCommentDialog::Shown() const { return m_show->isChecked(); }

}  // namespace dravmer::ui
