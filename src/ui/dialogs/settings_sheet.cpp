#include "ui/dialogs/settings_sheet.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "ui/page_list.h"
#include "ui/sheet_page.h"

namespace dravmer::ui {

namespace {

// A page whose builder has not landed yet: says so and accepts every OK.
class CPendingPage : public CSheetPage {
public:
    CPendingPage(const QString& title, QWidget* parent) : CSheetPage(parent) {
        auto* layout = new QVBoxLayout(this);
        auto* label = new QLabel(
            QCoreApplication::translate("CSettingsSheet",
                                        "Страница «%1» появится в следующей версии программы.")
                .arg(title),
            this);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
    bool Apply() override { return true; }
};

}  // namespace

CSettingsSheet::CSettingsSheet(SUiContext& context, bool withPortPages, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("Настройки"));
    auto* layout = new QVBoxLayout(this);
    auto* body = new QHBoxLayout;
    m_list = new QListWidget(this);
    m_list->setFixedWidth(kListWidth);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setWordWrap(true);
    m_list->setAccessibleName(tr("Страницы настроек"));
    m_stack = new QStackedWidget(this);
    body->addWidget(m_list);
    body->addWidget(m_stack, 1);
    layout->addLayout(body, 1);
    for (const SSheetPageEntry& entry : SheetPages()) {
        if (entry.portPage && !withPortPages) continue;
        CSheetPage* page = entry.make ? entry.make(context, m_stack) : nullptr;
        if (!page) page = new CPendingPage(entry.title, m_stack);
        page->setProperty("sheetTitle", entry.title);
        m_pages.push_back(page);
        m_ids.push_back(entry.id);
        m_stack->addWidget(page);
        m_list->addItem(entry.title);
    }
    connect(m_list, &QListWidget::currentRowChanged, m_stack, &QStackedWidget::setCurrentIndex);
    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Отмена"));
    buttons->button(QDialogButtonBox::Apply)->setText(tr("Применить"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CSettingsSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            [this] {
                if (ApplyPages()) emit applied();
            });
    layout->addWidget(buttons);
    m_list->setCurrentRow(0);
    resize(860, 560);
}

QString CSettingsSheet::PageTitle(int index) const {
    return m_list->item(index)->text();
}

int CSettingsSheet::CurrentPage() const { return m_list->currentRow(); }

void CSettingsSheet::SelectPageAt(int index) {
    m_list->setCurrentRow(index >= 0 && index < PageCount() ? index : 0);
}

void CSettingsSheet::SelectPage(SheetPageId id) {
    const auto at = std::find(m_ids.begin(), m_ids.end(), id);
    SelectPageAt(at == m_ids.end() ? 0 : static_cast<int>(at - m_ids.begin()));
}

bool CSettingsSheet::ApplyPages() {
    for (int i = 0; i < PageCount(); ++i) {
        CSheetPage* page = m_pages[static_cast<size_t>(i)];
        if (!page->WasShown()) continue;
        if (!page->Apply()) {
            SelectPageAt(i);
            return false;
        }
    }
    return true;
}

void CSettingsSheet::accept() {
    if (ApplyPages()) QDialog::accept();
}

}  // namespace dravmer::ui
