#pragma once
// "Настройки эксперимента": per parameter whether it is a column of the tables and of the files,
// with how many decimals, its command group and description; Ky; the two update buttons. The
// file columns cannot change while an experiment runs (its files keep their header).
#include <QWidget>

class QLineEdit;
class QPushButton;
class QTableWidget;

namespace dravmer::ui {

struct SUiContext;

class CExperimentSettingsPage : public QWidget {
    Q_OBJECT
public:
    explicit CExperimentSettingsPage(SUiContext& context, QWidget* parent = nullptr);

    QTableWidget* Grid() const { return m_grid; }
    QLineEdit* KyEdit() const { return m_ky; }
    QPushButton* TableButton() const { return m_tableButton; }
    QPushButton* FileButton() const { return m_fileButton; }

public slots:
    // Fills the grid from the settings.
    void Reload();
    void UpdateTableColumns();
    void UpdateFileColumns();
    void SetRunning(bool running);

signals:
    // The table columns or decimals changed: the tables redraw.
    void tablesChanged();

private:
    // Selection and decimals of one kind (table: columns 1 and 3; file: 2 and 4).
    void TakeColumns(bool file);

    SUiContext& m_context;
    QTableWidget* m_grid = nullptr;
    QLineEdit* m_ky = nullptr;
    QPushButton* m_tableButton = nullptr;
    QPushButton* m_fileButton = nullptr;
};

}  // namespace dravmer::ui
