#include "ui/pages/experiment_settings_page.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <functional>

#include "measure/param_catalog.h"
#include "ui/qt_translations.h"
#include "ui/ui_context.h"
#include "ui/view_state.h"

namespace dravmer::ui {

namespace {
enum { kName, kTable, kFile, kTableDecimals, kFileDecimals, kGroup, kDescription, kColumns };

QColor GroupColor(int group) {
    switch (group) {
        case 1: return QColor(255, 173, 91);
        case 2: return QColor(0, 255, 255);
        case 3: return QColor(60, 179, 113);
        case 4: return QColor(255, 215, 0);
        default: return QColor();
    }
}

QString FromView(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}
}  // namespace

CExperimentSettingsPage::CExperimentSettingsPage(SUiContext& context, QWidget* parent)
    : QWidget(parent), m_context(context) {
    m_grid = new QTableWidget(kParamCount, kColumns, this);
    m_grid->setAccessibleName(tr("Настройки эксперимента"));
    m_grid->setHorizontalHeaderLabels({tr("Параметры"), tr("В таблицу"), tr("В файл"),
                                       tr("Формат чисел табл"), tr("Формат чисел файл"),
                                       tr("Команда"), tr("Описание параметра")});
    // The designed widths, widened where this system's font needs more for the header.
    const int widths[kColumns] = {100, 60, 60, 110, 115, 50, 490};
    const QFontMetrics fm(m_grid->horizontalHeader()->font());
    for (int c = 0; c < kColumns; ++c)
        m_grid->horizontalHeader()->resizeSection(
            c, std::max(widths[c],
                        fm.horizontalAdvance(m_grid->horizontalHeaderItem(c)->text()) + 20));
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->verticalHeader()->setDefaultSectionSize(QFontMetrics(m_grid->font()).height() + 6);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_grid->verticalHeader()->hide();
    m_grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);

    m_ky = new QLineEdit(this);
    m_ky->setAccessibleName(QStringLiteral("Ky"));
    m_ky->setMaximumWidth(120);
    m_tableButton = new QPushButton(tr("Обновить колонки таблицы"), this);
    m_fileButton = new QPushButton(tr("Обновить колонки файла"), this);
    connect(m_tableButton, &QPushButton::clicked, this, &CExperimentSettingsPage::UpdateTableColumns);
    connect(m_fileButton, &QPushButton::clicked, this, &CExperimentSettingsPage::UpdateFileColumns);

    auto* bottom = new QHBoxLayout;
    auto* kyLabel = new QLabel(QStringLiteral("Ky"), this);
    kyLabel->setBuddy(m_ky);
    bottom->addWidget(kyLabel);
    bottom->addWidget(m_ky);
    bottom->addStretch(1);
    bottom->addWidget(m_tableButton);
    bottom->addWidget(m_fileButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_grid, 1);
    layout->addLayout(bottom);

    connect(&context.events, &CBenchEvents::experimentStarted, this, [this] { SetRunning(true); });
    connect(&context.events, &CBenchEvents::experimentStopped, this, [this] { SetRunning(false); });
    if (context.view)
        connect(context.view, &CViewState::columnsChanged, this,
                &CExperimentSettingsPage::FollowSettings);
    Reload();
    SetRunning(context.bench.IsRunning());
}

void CExperimentSettingsPage::SetRunning(bool running) { m_fileButton->setEnabled(!running); }

void CExperimentSettingsPage::Reload() {
    const CExperimentSettings& s = m_context.bench.Settings();
    for (int i = 0; i < kParamCount; ++i) {
        auto readOnly = [](const QString& text) {
            auto* item = new QTableWidgetItem(text);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            return item;
        };
        m_grid->setItem(i, kName, readOnly(FromView(ParamNameTrimmed(i))));
        const int group = CExperimentSettings::CommandGroup(i);
        for (int c : {kTable, kFile}) {
            auto* item = readOnly(QString());
            if (i >= 1) {
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
                item->setCheckState((c == kTable ? s.ToTable(i) : s.ToFile(i)) ? Qt::Checked
                                                                                : Qt::Unchecked);
                item->setBackground(GroupColor(group));
            }
            m_grid->setItem(i, c, item);
        }
        for (int c : {kTableDecimals, kFileDecimals}) {
            QTableWidgetItem* item;
            if (i >= 3) {
                item = new QTableWidgetItem(
                    QString::number(c == kTableDecimals ? s.TableDecimals(i) : s.FileDecimals(i)));
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
            } else {
                item = readOnly(QString());
            }
            m_grid->setItem(i, c, item);
        }
        m_grid->setItem(i, kGroup, readOnly(group > 0 ? QString::number(group) : QString()));
        m_grid->setItem(i, kDescription, readOnly(FromView(ParamDescription(i, UiLanguage()))));
    }
    m_ky->setText(QString::asprintf("%3.3f", s.Ky()));
    for (int i = 0; i < kParamCount; ++i) {
        const auto k = static_cast<std::size_t>(i);
        m_shown.toTable[k] = s.ToTable(i);
        m_shown.toFile[k] = s.ToFile(i);
        m_shown.tableDecimals[k] = s.TableDecimals(i);
        m_shown.fileDecimals[k] = s.FileDecimals(i);
    }
    m_shown.ky = s.KyText();
}

void CExperimentSettingsPage::FollowSettings() {
    const CExperimentSettings& s = m_context.bench.Settings();
    auto follow = [](auto& shown, auto now, const std::function<void()>& show) {
        if (shown == now) return;
        shown = now;
        show();
    };
    for (int i = 1; i < kParamCount; ++i) {
        const auto k = static_cast<std::size_t>(i);
        QTableWidgetItem* table = m_grid->item(i, kTable);
        QTableWidgetItem* file = m_grid->item(i, kFile);
        follow(m_shown.toTable[k], s.ToTable(i),
               [&] { table->setCheckState(s.ToTable(i) ? Qt::Checked : Qt::Unchecked); });
        follow(m_shown.toFile[k], s.ToFile(i),
               [&] { file->setCheckState(s.ToFile(i) ? Qt::Checked : Qt::Unchecked); });
        if (i < 3) continue;
        follow(m_shown.tableDecimals[k], s.TableDecimals(i), [&] {
            m_grid->item(i, kTableDecimals)->setText(QString::number(s.TableDecimals(i)));
        });
        follow(m_shown.fileDecimals[k], s.FileDecimals(i), [&] {
            m_grid->item(i, kFileDecimals)->setText(QString::number(s.FileDecimals(i)));
        });
    }
    follow(m_shown.ky, s.KyText(), [&] { m_ky->setText(QString::asprintf("%3.3f", s.Ky())); });
}

void CExperimentSettingsPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FollowSettings();
}

void CExperimentSettingsPage::Applied() {
    FollowSettings();
    emit tablesChanged();
    if (m_context.view) {
        m_context.view->NotifyColumnsChanged();
        // The table pages redraw now rather than at their next look.
        m_context.view->NotifyStatisticsChanged();
    }
}

void CExperimentSettingsPage::TakeColumns(bool file) {
    CExperimentSettings& s = m_context.bench.Settings();
    const int selection = file ? kFile : kTable;
    const int decimals = file ? kFileDecimals : kTableDecimals;
    for (int i = 1; i < kParamCount; ++i) {
        const bool on = m_grid->item(i, selection)->checkState() == Qt::Checked;
        file ? s.SetToFile(i, on) : s.SetToTable(i, on);
    }
    for (int i = 3; i < kParamCount; ++i) {
        QTableWidgetItem* item = m_grid->item(i, decimals);
        // The C library's conversion: text that is no number reads 0, which is a valid count.
        const int value = std::atoi(item->text().toLatin1().constData());
        const bool ok = file ? s.SetFileDecimals(i, value) : s.SetTableDecimals(i, value);
        if (!ok || item->text() != QString::number(value))
            item->setText(QString::number(file ? s.FileDecimals(i) : s.TableDecimals(i)));
    }
}

void CExperimentSettingsPage::UpdateTableColumns() {
    CExperimentSettings& s = m_context.bench.Settings();
    TakeColumns(false);
    // What the poll reads follows what is wanted in a table or a file.
    s.RecomputeOptionalReads();
    s.SaveTableColumns(m_context.settings);
    m_context.settings.Flush();
    Applied();
}

void CExperimentSettingsPage::UpdateFileColumns() {
    if (m_context.bench.IsRunning()) return;  // the open files keep their columns
    CExperimentSettings& s = m_context.bench.Settings();
    TakeColumns(false);
    TakeColumns(true);
    s.SetKyText(m_ky->text().toStdString());
    s.SaveAllColumns(m_context.settings);
    m_context.settings.Flush();
    s.RecomputeOptionalReads();
    Applied();
}

}  // namespace dravmer::ui
