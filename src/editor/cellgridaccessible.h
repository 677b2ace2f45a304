#pragma once
// What assistive technology sees of the cell grid: a table of 20 rows by 80
// columns whose cells are named after the byte they show (empty past the
// end), with the selected cell reported as focused and selected. Each cell
// offers one action, Press, which does what a click on it does.
//
// Cells are not objects of their own; their interfaces are made on demand,
// registered with Qt's accessibility cache, and released with the table's.
#include <QAccessibleWidget>
#include <QHash>

class CellGrid;

class CellGridAccessible : public QAccessibleWidget, public QAccessibleTableInterface
{
public:
    explicit CellGridAccessible(CellGrid *grid);
    ~CellGridAccessible() override;

    // Makes Qt use this interface for every CellGrid; safe to call often.
    static void install();
    // Tells assistive technology that the grid's selected cell moved from
    // `previous` (-1: none) to the grid's selectedCell().
    static void announceSelection(CellGrid *grid, int previous);

    CellGrid *grid() const;

    // QAccessibleInterface
    QAccessible::Role role() const override;
    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *focusChild() const override;
    void *interface_cast(QAccessible::InterfaceType t) override;

    // QAccessibleTableInterface
    QAccessibleInterface *caption() const override { return nullptr; }
    QAccessibleInterface *summary() const override { return nullptr; }
    QAccessibleInterface *cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface *> selectedCells() const override;
    QString columnDescription(int) const override { return QString(); }
    QString rowDescription(int) const override { return QString(); }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return 0; }
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int) const override { return false; }
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent *) override {}

private:
    mutable QHash<int, QAccessible::Id> m_cellIds;
};
