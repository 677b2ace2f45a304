#include "cellgridaccessible.h"

#include "cellgrid.h"
#include "gridgeometry.h"

#include <QPointer>

namespace {

using namespace GridGeometry;

// One cell of the grid, by index. It holds only a guarded pointer to the
// grid, so it turns invalid, not dangling, when the grid goes.
class CellAccessible : public QAccessibleInterface,
                       public QAccessibleTableCellInterface,
                       public QAccessibleActionInterface
{
public:
    CellAccessible(CellGrid *grid, int cell)
        : m_grid(grid)
        , m_cell(cell)
    {
    }

    bool isValid() const override { return !m_grid.isNull(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return table() ? table()->window() : nullptr; }
    QAccessibleInterface *parent() const override { return table(); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::Cell; }

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name || !m_grid)
            return QString();
        return m_grid->cellName(m_cell);
    }
    void setText(QAccessible::Text, const QString &) override {}

    QRect rect() const override
    {
        if (!m_grid)
            return QRect();
        const QRect r = cellRect(m_cell);
        return QRect(m_grid->mapToGlobal(r.topLeft()), r.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!m_grid) {
            s.invalid = true;
            return s;
        }
        s.readOnly = true;
        s.selectable = true;
        s.focusable = true;
        s.invisible = !m_grid->isVisible();
        const bool selected = m_grid->selectedCell() == m_cell;
        s.selected = selected;
        s.focused = selected;
        s.active = selected;
        return s;
    }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TableCellInterface)
            return static_cast<QAccessibleTableCellInterface *>(this);
        if (t == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface *>(this);
        return nullptr;
    }

    // QAccessibleActionInterface
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &name) override
    {
        if (name == pressAction() && m_grid)
            m_grid->pressCell(m_cell);
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

    // QAccessibleTableCellInterface
    bool isSelected() const override { return m_grid && m_grid->selectedCell() == m_cell; }
    QList<QAccessibleInterface *> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface *> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return column(m_cell); }
    int rowIndex() const override { return row(m_cell); }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface *table() const override
    {
        return m_grid ? QAccessible::queryAccessibleInterface(m_grid.data()) : nullptr;
    }

private:
    QPointer<CellGrid> m_grid;
    int m_cell;
};

QAccessibleInterface *gridFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("CellGrid") && object && object->isWidgetType())
        return new CellGridAccessible(static_cast<CellGrid *>(object));
    return nullptr;
}

} // namespace

CellGridAccessible::CellGridAccessible(CellGrid *grid)
    : QAccessibleWidget(grid, QAccessible::Table)
{
}

CellGridAccessible::~CellGridAccessible()
{
    for (QAccessible::Id id : std::as_const(m_cellIds))
        QAccessible::deleteAccessibleInterface(id);
}

void CellGridAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(gridFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void CellGridAccessible::announceSelection(CellGrid *grid, int previous)
{
    if (!QAccessible::isActive())
        return;
    // The selection first: a screen reader speaks the cell once, when it
    // takes the focus, not again as "selected".
    if (previous >= 0) {
        QAccessibleEvent removed(grid, QAccessible::SelectionRemove);
        removed.setChild(previous);
        QAccessible::updateAccessibility(&removed);
    }
    const int cell = grid->selectedCell();
    if (cell < 0)
        return;
    QAccessibleEvent added(grid, QAccessible::SelectionAdd);
    added.setChild(cell);
    QAccessible::updateAccessibility(&added);
    QAccessibleEvent focus(grid, QAccessible::Focus);
    focus.setChild(cell);
    QAccessible::updateAccessibility(&focus);
}

CellGrid *CellGridAccessible::grid() const
{
    return static_cast<CellGrid *>(widget());
}

QAccessible::Role CellGridAccessible::role() const
{
    return QAccessible::Table;
}

int CellGridAccessible::childCount() const
{
    return kCells;
}

QAccessibleInterface *CellGridAccessible::child(int index) const
{
    if (index < 0 || index >= kCells)
        return nullptr;
    const auto it = m_cellIds.constFind(index);
    if (it != m_cellIds.constEnd())
        return QAccessible::accessibleInterface(*it);
    auto *cell = new CellAccessible(grid(), index);
    m_cellIds.insert(index, QAccessible::registerAccessibleInterface(cell));
    return cell;
}

int CellGridAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    if (!child || child->role() != QAccessible::Cell || child->parent() == nullptr
        || child->parent()->object() != object())
        return -1;
    auto *cell = const_cast<QAccessibleInterface *>(child)->tableCellInterface();
    return cell ? cell->rowIndex() * kColumns + cell->columnIndex() : -1;
}

QAccessibleInterface *CellGridAccessible::childAt(int x, int y) const
{
    const int cell = GridGeometry::cellAt(grid()->mapFromGlobal(QPoint(x, y)));
    return cell < 0 ? nullptr : child(cell);
}

QAccessibleInterface *CellGridAccessible::focusChild() const
{
    const int cell = grid()->selectedCell();
    return cell < 0 ? nullptr : child(cell);
}

void *CellGridAccessible::interface_cast(QAccessible::InterfaceType t)
{
    if (t == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface *>(this);
    return QAccessibleWidget::interface_cast(t);
}

QAccessibleInterface *CellGridAccessible::cellAt(int row, int column) const
{
    if (row < 0 || row >= kRows || column < 0 || column >= kColumns)
        return nullptr;
    return child(row * kColumns + column);
}

int CellGridAccessible::selectedCellCount() const
{
    return grid()->selectedCell() < 0 ? 0 : 1;
}

QList<QAccessibleInterface *> CellGridAccessible::selectedCells() const
{
    const int cell = grid()->selectedCell();
    if (cell < 0)
        return {};
    return {child(cell)};
}

int CellGridAccessible::columnCount() const
{
    return kColumns;
}

int CellGridAccessible::rowCount() const
{
    return kRows;
}
