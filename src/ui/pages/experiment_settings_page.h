#pragma once
// "Настройки эксперимента": per parameter whether it is a column of the tables and of the files,
// with how many decimals, its command group and description; Ky; the two update buttons. The
// file columns cannot change while an experiment runs (its files keep their header).
// The grid shows the engine's experiment settings: a change made elsewhere (the column chooser)
// appears in its cells at once, while edits not applied yet stay in the cells nothing changed.
#include <QWidget>
#include <array>
#include <string>

#include "measure/param_index.h"

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
    // Shows what changed in the settings since the grid last showed them, cell by cell.
    void FollowSettings();
    void UpdateTableColumns();
    void UpdateFileColumns();
    void SetRunning(bool running);

signals:
    // The table columns or decimals changed: the tables redraw.
    void tablesChanged();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Selection and decimals of one kind (table: columns 1 and 3; file: 2 and 4).
    void TakeColumns(bool file);
    // After an update button: the other pages follow, and so does the grid itself.
    void Applied();

    // The settings as the grid last showed them.
    struct SShown {
        std::array<bool, kParamCount> toTable{}, toFile{};
        std::array<int, kParamCount> tableDecimals{}, fileDecimals{};
        std::string ky;
    } m_shown;

    SUiContext& m_context;
    QTableWidget* m_grid = nullptr;
    QLineEdit* m_ky = nullptr;
    QPushButton* m_tableButton = nullptr;
    QPushButton* m_fileButton = nullptr;
};

}  // namespace dravmer::ui
