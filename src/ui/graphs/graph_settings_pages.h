#pragma once
// The three graph pages of the settings sheet. Each takes its values on OK (Apply), tells the
// graphs when something changed and saves the graph settings.
#include "ui/sheet_page.h"
#include "ui/ui_context.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace dravmer::ui {

class CColorButton;
class CGraphHub;

// "График среднее UG0-9": the statistics graph's colours and its latest-values switch.
class CStatGraphSettingsPage : public CSheetPage {
    Q_OBJECT
public:
    explicit CStatGraphSettingsPage(SUiContext& ctx, QWidget* parent = nullptr);
    bool Apply() override;
    CColorButton* Button(int i) const { return m_buttons[i]; }  // 0 background .. 4 latest E
    QCheckBox* Latest() const { return m_latest; }

private:
    CGraphHub& m_hub;
    CColorButton* m_buttons[5] = {};
    QCheckBox* m_latest = nullptr;
};

// "Цвета графиков": background, grid and the 50 curve colours of the time-series graph.
class CGraphColorsPage : public CSheetPage {
    Q_OBJECT
public:
    explicit CGraphColorsPage(SUiContext& ctx, QWidget* parent = nullptr);
    bool Apply() override;
    CColorButton* Background() const { return m_background; }
    CColorButton* Grid() const { return m_grid; }
    CColorButton* Slot(int i) const { return m_slots[i]; }

private:
    CGraphHub& m_hub;
    CColorButton* m_background = nullptr;
    CColorButton* m_grid = nullptr;
    CColorButton* m_slots[50] = {};
};

// "Настройки основного графика": grid cells, auto-place, selection look, time labels.
class CMainGraphSettingsPage : public CSheetPage {
    Q_OBJECT
public:
    explicit CMainGraphSettingsPage(SUiContext& ctx, QWidget* parent = nullptr);
    bool Apply() override;
    QLineEdit* Cells() const { return m_cells; }
    QLabel* Error() const { return m_error; }

private:
    CGraphHub& m_hub;
    QLineEdit* m_cells = nullptr;
    QCheckBox* m_autoPlace = nullptr;
    QRadioButton* m_lines = nullptr;
    QRadioButton* m_band = nullptr;
    CColorButton* m_selection = nullptr;
    QCheckBox* m_timeAxes = nullptr;
    QLabel* m_error = nullptr;
};

}  // namespace dravmer::ui
