#pragma once
// "Редактировать комментарий к графику": the caption template of the graph, whether it is
// shown, and two buttons that keep the text in the settings and bring it back. It says which
// label file OK writes (the experiment on screen's), or that there is none.
#include <QDialog>

#include "platform/settings_store.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;

namespace dravmer::ui {

class CGraphCommentDialog : public QDialog {
    Q_OBJECT
public:
    // labelPath: the label file OK writes the comment to; empty when there is none.
    CGraphCommentDialog(ISettingsStore& settings, const QString& text, bool shown,
                        const QString& labelPath = QString(), QWidget* parent = nullptr);
    QString Text() const;
    bool Shown() const;
    QPlainTextEdit* Edit() const { return m_edit; }
    QLabel* Target() const { return m_target; }

private:
    ISettingsStore& m_settings;
    QPlainTextEdit* m_edit = nullptr;
    QCheckBox* m_show = nullptr;
    QLabel* m_target = nullptr;
};

}  // namespace dravmer::ui
