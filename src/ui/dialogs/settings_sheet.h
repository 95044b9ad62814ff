#pragma once
// "Настройки": the program settings sheet. A page list 200 pixels wide on the left, the pages of
// SheetPages() on the right (the port pages only when the caller allows them: never while a
// search or an experiment runs). OK applies every page that was shown; a page that refuses a
// value keeps the sheet open on itself.
#include <QDialog>
#include <vector>

#include "ui/page_list.h"
#include "ui/ui_context.h"

class QListWidget;
class QStackedWidget;

namespace dravmer::ui {

class CSheetPage;

class CSettingsSheet : public QDialog {
    Q_OBJECT
public:
    static constexpr int kListWidth = 200;

    CSettingsSheet(SUiContext& context, bool withPortPages, QWidget* parent = nullptr);

    int PageCount() const { return static_cast<int>(m_pages.size()); }
    CSheetPage* Page(int index) const { return m_pages.at(static_cast<size_t>(index)); }
    QString PageTitle(int index) const;
    int CurrentPage() const;
    // Selects the page with this id; a page that is not offered selects the first page.
    void SelectPage(SheetPageId id);
    // Selects a page by its position in the sheet's list (out of range: the first).
    void SelectPageAt(int index);
    // Applies the pages that were shown; false (and the refusing page selected) when one refused.
    bool ApplyPages();

    void accept() override;

signals:
    // "Применить" applied every shown page.
    void applied();

private:
    QListWidget* m_list = nullptr;
    QStackedWidget* m_stack = nullptr;
    std::vector<CSheetPage*> m_pages;
    std::vector<SheetPageId> m_ids;  // beside m_pages
};

}  // namespace dravmer::ui
