#pragma once
// Settings sheet page "Настройки таблиц": the colour of out-of-tolerance cells.
#include "ui/sheet_page.h"

namespace dravmer::ui {

struct SUiContext;
class CSimpleColorButton;

class CTableSettingsPage : public CSheetPage {
    Q_OBJECT
public:
    explicit CTableSettingsPage(SUiContext& context, QWidget* parent = nullptr);
    CSimpleColorButton* ColorButton() const { return m_color; }
    // Stores a changed colour and writes the file settings; the tables pick it up.
    bool Apply() override;

private:
    SUiContext& m_context;
    CSimpleColorButton* m_color = nullptr;
};

}  // namespace dravmer::ui
