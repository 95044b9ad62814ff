#pragma once
// The main view's page "Список графиков": one row per parameter 1..42, one column per device;
// a click on a device cell adds or removes that curve, a click on the parameter's name toggles
// it for every device. Cells that hold a curve show its number on its colour.
#include <QAbstractTableModel>
#include <QWidget>
#include <vector>

#include "ui/ui_context.h"

class QTableView;

namespace dravmer::ui {

class CGraphHub;

class CCurveListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CCurveListModel(CGraphHub& hub, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    // Device columns start at 1; the three after them are unit, command and description.
    int DeviceCount() const { return static_cast<int>(m_addresses.size()); }
    static int ParamOfRow(int row) { return row + 1; }
    // Rebuilds the device columns (after a search or a load) and refreshes the cells.
    void Rebuild();
    void CellsChanged();

private:
    CGraphHub& m_hub;
    std::vector<std::uint32_t> m_addresses;
};

class CCurveListPage : public QWidget {
    Q_OBJECT
public:
    explicit CCurveListPage(SUiContext& ctx, QWidget* parent = nullptr);
    QTableView* View() const { return m_view; }
    CCurveListModel* Model() const { return m_model; }

public slots:
    // A click on (row, column): a device cell toggles one curve, the name column all devices.
    void ClickCell(int row, int column);
    void RemoveAll();
    void Rebuild();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Toggle(int device, int param);
    CGraphHub& m_hub;
    CCurveListModel* m_model = nullptr;
    QTableView* m_view = nullptr;
};

}  // namespace dravmer::ui
