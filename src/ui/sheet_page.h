#pragma once
// A page of the program settings sheet. The sheet calls Apply on every page that was shown when
// the operator presses OK; a page that refuses a value says why and returns false, and the sheet
// stays open on that page.
#include <QWidget>

namespace dravmer::ui {

class CSheetPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    virtual bool Apply() = 0;
    bool WasShown() const { return m_shown; }

protected:
    void showEvent(QShowEvent* event) override {
        m_shown = true;
        QWidget::showEvent(event);
    }

private:
    bool m_shown = false;
};

}  // namespace dravmer::ui
