#pragma once
// "Редактировать комментарий к графику": the caption template of the graph, whether it is
// shown, and two buttons that keep the text in the settings and bring it back.
#include <QDialog>

#include "platform/settings_store.h"

class QCheckBox;
class QPlainTextEdit;

namespace dravmer::ui {

class CGraphCommentDialog : public QDialog {
    Q_OBJECT
public:
    CGraphCommentDialog(ISettingsStore& settings, const QString& text, bool shown,
                        QWidget* parent = nullptr);
    QString Text() const;
    bool Shown() const;

private:
    ISettingsStore& m_settings;
    QPlainTextEdit* m_edit = nullptr;
    QCheckBox* m_show = nullptr;
};

}  // namespace dravmer::ui
