#pragma once
// "Выбор колонок таблицы": one check box per parameter 1..42 under the group boxes of the
// device reads that deliver them. OK writes the boxes into the table selection and ToTable, and
// tells the pages that show the columns.
#include <QDialog>
#include <array>

#include "measure/param_index.h"

class QCheckBox;

namespace dravmer::ui {

struct SUiContext;

class CColumnChooser : public QDialog {
    Q_OBJECT
public:
    explicit CColumnChooser(SUiContext& context, QWidget* parent = nullptr);
    QCheckBox* Box(int param) const { return m_boxes.at(static_cast<std::size_t>(param)); }

    void accept() override;

private:
    SUiContext& m_context;
    std::array<QCheckBox*, kParamCount> m_boxes{};
};

}  // namespace dravmer::ui
