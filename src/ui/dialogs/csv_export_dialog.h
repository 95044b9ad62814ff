#pragma once
// "Экспорт в CSV…": where the table goes and how it is written (a units row, a spreadsheet with
// a decimal comma, the statistics range only).
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <cstdint>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace dravmer::ui {

class CCsvExportDialog : public QDialog {
    Q_OBJECT
public:
    // hasRange: a statistics range from..to is set, so "only the range" can be asked.
    CCsvExportDialog(const QString& path, int devices, qint64 records, bool hasRange,
                     std::uint32_t from, std::uint32_t to, QWidget* parent = nullptr);

    QString Path() const;
    bool Units() const;
    bool Excel() const;
    bool RangeOnly() const;

    QLineEdit* PathEdit() const { return m_path; }
    QCheckBox* UnitsBox() const { return m_units; }
    QCheckBox* ExcelBox() const { return m_excel; }
    QCheckBox* RangeBox() const { return m_range; }
    // The box that said why the dialog stayed open, while it shows.
    QMessageBox* Problem() const { return m_problem; }

    void accept() override;

private:
    QLineEdit* m_path = nullptr;
    QCheckBox* m_units = nullptr;
    QCheckBox* m_excel = nullptr;
    QCheckBox* m_range = nullptr;
    QPointer<QMessageBox> m_problem;
};

}  // namespace dravmer::ui
