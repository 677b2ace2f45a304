// The four windows for everyone: readable under a dark desktop palette, and
// usable through a screen reader. The application runs under a dark palette
// from the start, as a dark desktop theme would set it.
//
// Contrast is WCAG's: (L1 + 0.05) / (L2 + 0.05) of the relative luminances of
// a control's text colour and the colour behind it, at least 4.5.
#include "cellgrid.h"
#include "gridgeometry.h"
#include "hexdisplay.h"
#include "loadsave.h"
#include "mainmods.h"
#include "nullwindowsystem.h"
#include "realvscroll.h"
#include "runningapps.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>
#include <cmath>
#include <memory>

namespace {

double luminance(const QColor &c)
{
    const auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The colour behind a label's or a check box's text: its own fill, or that
// of the nearest ancestor that fills its background.
QColor behind(const QWidget *w)
{
    for (const QWidget *p = w; p; p = p->parentWidget())
        if (p->autoFillBackground() || p->isWindow())
            return p->palette().color(p->backgroundRole());
    return QColor();
}

// Every text a control shows, as (what, text colour, background colour).
struct TextOn {
    QString what;
    QColor text, background;
};

QList<TextOn> textsOf(QWidget *w)
{
    w->ensurePolished(); // style sheets set their colours into the palette here
    const QPalette pal = w->palette();
    const QString name = QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ')
        + (w->objectName().isEmpty() ? w->accessibleName() : w->objectName());
    if (qobject_cast<QLabel *>(w) || (qobject_cast<QAbstractButton *>(w) && !qobject_cast<QPushButton *>(w)))
        return {{name, pal.color(QPalette::WindowText), behind(w)}};
    if (qobject_cast<QPushButton *>(w) || (qobject_cast<QComboBox *>(w) && !static_cast<QComboBox *>(w)->isEditable()))
        return {{name, pal.color(QPalette::ButtonText), pal.color(QPalette::Button)}};
    if (qobject_cast<QLineEdit *>(w))
        return {{name, pal.color(QPalette::Text), pal.color(QPalette::Base)}};
    if (auto *list = qobject_cast<QListWidget *>(w)) {
        const QPalette vp = list->viewport()->palette();
        QList<TextOn> texts{{name, vp.color(QPalette::Text), vp.color(QPalette::Base)}};
        for (int i = 0; i < list->count(); ++i) {
            const QListWidgetItem *item = list->item(i);
            const QBrush fg = item->foreground(), bg = item->background();
            if (fg.style() != Qt::NoBrush || bg.style() != Qt::NoBrush)
                texts.append({name + QStringLiteral(" row ") + item->text(),
                              fg.style() != Qt::NoBrush ? fg.color() : vp.color(QPalette::Text),
                              bg.style() != Qt::NoBrush ? bg.color() : vp.color(QPalette::Base)});
        }
        return texts;
    }
    return {};
}

} // namespace

class tst_WindowAccess : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void windows_data();
    void textsKeepContrastUnderDarkPalette();
    void textsKeepContrastUnderDarkPalette_data() { windows_data(); }
    void everyControlHasAName();
    void everyControlHasAName_data() { windows_data(); }
    void gridIsATableOfNamedCells();
    void scrollBarReportsItsValue();
    void movesAreAnnounced();

private:
    QWidget *makeWindow(const QString &which);

    std::unique_ptr<HexDisplay> m_main;
    NullWindowSystem m_noWindows;
    std::unique_ptr<RunningApps> m_apps;
};

void tst_WindowAccess::initTestCase()
{
    QPalette dark;
    const QColor window(53, 53, 53), base(35, 35, 35), light(230, 230, 230);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, light);
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::AlternateBase, window);
    dark.setColor(QPalette::Text, light);
    dark.setColor(QPalette::Button, window);
    dark.setColor(QPalette::ButtonText, light);
    dark.setColor(QPalette::ToolTipBase, base);
    dark.setColor(QPalette::ToolTipText, light);
    QApplication::setPalette(dark);
    QAccessible::setActive(true);

    m_main = std::make_unique<HexDisplay>();
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
    MainMods::ByteBuffer.allocate(3000);
    for (int i = 0; i < 3000; ++i)
        MainMods::ByteBuffer[i] = uint8_t(i);
    m_main->GoNow();
    // A selection shows the readout and the three boxes.
    QTest::mouseClick(m_main->ShowLab(), Qt::LeftButton, {}, GridGeometry::cellRect(65).center());
    QVERIFY(m_main->Text1(0)->isVisible());
}

void tst_WindowAccess::windows_data()
{
    QTest::addColumn<QString>("which");
    for (const char *w : {"HexDisplay", "FindBox", "LoadSave", "RunningApps"})
        QTest::newRow(w) << QString::fromLatin1(w);
}

QWidget *tst_WindowAccess::makeWindow(const QString &which)
{
    QWidget *w = nullptr;
    if (which == QLatin1String("HexDisplay")) {
        w = m_main.get();
    } else if (which == QLatin1String("FindBox")) {
        m_main->FindData_Click();
        w = m_main->findBox();
    } else if (which == QLatin1String("LoadSave")) {
        LoadSave *chooser = LoadSave::instance(m_main.get());
        chooser->Command1(1)->setText(QStringLiteral("Load")); // as the main window's Open does
        chooser->show();
        w = chooser;
    } else {
        if (!m_apps)
            m_apps = std::make_unique<RunningApps>(m_noWindows);
        m_apps->show();
        w = m_apps.get();
    }
    return w && QTest::qWaitForWindowExposed(w) ? w : nullptr;
}

void tst_WindowAccess::textsKeepContrastUnderDarkPalette()
{
    QFETCH(QString, which);
    QWidget *window = makeWindow(which);
    QVERIFY(window);
    int checked = 0;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (!w->isVisibleTo(window) || !w->isEnabled() || w->window() != window)
            continue;
        for (const TextOn &t : textsOf(w)) {
            ++checked;
            const double ratio = contrast(t.text, t.background);
            QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("%1: %2 on %3 is %4:1")
                                                  .arg(t.what, t.text.name(), t.background.name())
                                                  .arg(ratio, 0, 'f', 2)));
        }
    }
    QVERIFY(checked >= 2);
}

void tst_WindowAccess::everyControlHasAName()
{
    QFETCH(QString, which);
    QWidget *window = makeWindow(which);
    QVERIFY(window);
    int checked = 0;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        const bool control = qobject_cast<QLabel *>(w) || qobject_cast<QLineEdit *>(w)
            || qobject_cast<QAbstractButton *>(w) || qobject_cast<QListWidget *>(w)
            || qobject_cast<QComboBox *>(w) || qobject_cast<CellGrid *>(w) || qobject_cast<RealvScroll *>(w);
        // A combo box's own text box is part of the combo box.
        if (!control || !w->isVisibleTo(window) || w->window() != window || qobject_cast<QComboBox *>(w->parent()))
            continue;
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
        QVERIFY(iface);
        ++checked;
        QVERIFY2(!iface->text(QAccessible::Name).trimmed().isEmpty(),
                 qPrintable(QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->objectName()
                            + QStringLiteral(" has no accessible name")));
    }
    QVERIFY(checked >= 2);
}

namespace {

// Records what the grid and the scroll bar tell assistive technology.
struct Announcements {
    static inline QList<std::pair<QAccessible::Event, int>> seen; // (type, child or value)
    static void record(QAccessibleEvent *event)
    {
        if (event->type() == QAccessible::ValueChanged)
            seen.append({event->type(), static_cast<QAccessibleValueChangeEvent *>(event)->value().toInt()});
        else if (event->type() == QAccessible::Focus)
            seen.append({event->type(), event->child()});
    }
};

} // namespace

void tst_WindowAccess::gridIsATableOfNamedCells()
{
    HexDisplay &w = *m_main;
    w.Realsc()->setValue(2000);
    QAccessibleInterface *grid = QAccessible::queryAccessibleInterface(w.ShowLab());
    QVERIFY(grid);
    QCOMPARE(grid->role(), QAccessible::Table);
    QAccessibleTableInterface *table = grid->tableInterface();
    QVERIFY(table);
    QCOMPARE(table->rowCount(), 20);
    QCOMPARE(table->columnCount(), 80);
    QCOMPARE(grid->childCount(), 1600);

    // Cell (row, column) shows byte 2000 + 80 * row + column, whose value is
    // its index modulo 256; the 3000 bytes end in cell 999.
    const struct {
        int row, column;
        QString name;
    } cells[] = {
        {0, 0, QStringLiteral("Position 2001, Asc 208, Hex D0, Chr \u00D0")},
        {0, 65, QStringLiteral("Position 2066, Asc 17, Hex 11")}, // a control code has no character
        {3, 4, QStringLiteral("Position 2245, Asc 196, Hex C4, Chr \u00C4")},
        {12, 39, QStringLiteral("Position 3000, Asc 183, Hex B7, Chr \u00B7")},
        {12, 40, QString()}, // past the end of the buffer: empty
        {19, 79, QString()},
    };
    for (const auto &c : cells) {
        QAccessibleInterface *cell = table->cellAt(c.row, c.column);
        QVERIFY(cell);
        QCOMPARE(cell->role(), QAccessible::Cell);
        QCOMPARE(cell->text(QAccessible::Name), c.name);
        QAccessibleTableCellInterface *ci = cell->tableCellInterface();
        QVERIFY(ci);
        QCOMPARE(ci->rowIndex(), c.row);
        QCOMPARE(ci->columnIndex(), c.column);
        QCOMPARE(grid->indexOfChild(cell), c.row * 80 + c.column);
        QCOMPARE(cell->rect(), QRect(w.ShowLab()->mapToGlobal(GridGeometry::cellRect(c.row * 80 + c.column).topLeft()),
                                     QSize(7, 14)));
    }
    QVERIFY(table->cellAt(20, 0) == nullptr);

    // A click selects a cell and the arrows move it: the cell is focused.
    QTest::mouseClick(w.ShowLab(), Qt::LeftButton, {}, GridGeometry::cellRect(161).center());
    QTest::keyClick(w.Text1(2), Qt::Key_Right);
    QTest::keyClick(w.Text1(2), Qt::Key_Down);
    QCOMPARE(grid->focusChild(), table->cellAt(3, 2));
    QVERIFY(table->cellAt(3, 2)->state().focused);
    QVERIFY(!table->cellAt(3, 1)->state().focused);
    QCOMPARE(w.Text1(2)->accessibleName(), table->cellAt(3, 2)->text(QAccessible::Name));
    // A new page hides the selection: no cell is focused any more.
    w.Realsc()->setValue(1080);
    QCOMPARE(grid->focusChild(), nullptr);
    QCOMPARE(table->selectedCellCount(), 0);
}

void tst_WindowAccess::scrollBarReportsItsValue()
{
    RealvScroll *bar = m_main->Realsc();
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(bar);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::ScrollBar);
    QAccessibleValueInterface *value = iface->valueInterface();
    QVERIFY(value);
    QCOMPARE(value->minimumValue().toInt(), 0);
    QCOMPARE(value->maximumValue().toInt(), 2999);

    bar->setValue(400);
    QCOMPARE(value->currentValue().toInt(), 400);
    QCOMPARE(iface->text(QAccessible::Value), QStringLiteral("400"));
    // Set by assistive technology: capped at the maximum, and the page follows.
    value->setCurrentValue(5000);
    QCOMPARE(bar->Value(), 2999);
    QCOMPARE(m_main->ShowLab()->cellName(0).section(QLatin1Char(','), 0, 0), QStringLiteral("Position 3000"));
}

void tst_WindowAccess::movesAreAnnounced()
{
    // Qt hands events to a handler only while the platform's accessibility
    // is on, which a headless platform never turns on.
    if (!QAccessible::isActive())
        QSKIP("this platform's accessibility is off, so Qt delivers no events");
    HexDisplay &w = *m_main;
    RealvScroll *bar = w.Realsc();
    w.Realsc()->setValue(0);
    Announcements::seen.clear();
    QAccessible::installUpdateHandler(&Announcements::record);
    QTest::mouseClick(w.ShowLab(), Qt::LeftButton, {}, GridGeometry::cellRect(161).center());
    QTest::keyClick(w.Text1(2), Qt::Key_Right);
    QTest::keyClick(w.Text1(2), Qt::Key_Down);
    bar->setValue(400);
    QAccessible::installUpdateHandler(nullptr);
    const QList<std::pair<QAccessible::Event, int>> expected{{QAccessible::Focus, 161},
                                                             {QAccessible::Focus, 162},
                                                             {QAccessible::Focus, 242},
                                                             {QAccessible::ValueChanged, 400}};
    QCOMPARE(Announcements::seen, expected);
}

QTEST_MAIN(tst_WindowAccess)
#include "tst_windowaccess.moc"
