// The four windows for everyone: readable under a dark desktop palette, and
// usable through a screen reader. The application runs under a dark palette
// from the start, as a dark desktop theme would set it.
//
// CTest runs it twice: headless, where Qt sends no accessibility events, and
// on X11 with its own session and accessibility buses (with_atspi.sh), where
// Qt's bridge is on and what the windows announce is checked.
//
// Contrast is WCAG's: (L1 + 0.05) / (L2 + 0.05) of the relative luminances of
// a control's text colour and the colour behind it, at least 4.5.
#include "cellgrid.h"
#include "gridgeometry.h"
#include "hexdisplay.h"
#include "loadsave.h"
#include "mainmods.h"
#include "messages.h"
#include "nullwindowsystem.h"
#include "realvscroll.h"
#include "runningapps.h"
#include "sparsefile.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
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
    void chooserLabelsNameTheirOwnControls_data();
    void chooserLabelsNameTheirOwnControls();
    void scrollBarReportsBytes_data();
    void scrollBarReportsBytes();
    void movesAndFindsAreAnnounced();

private:
    QWidget *makeWindow(const QString &which);
    void loadCountingBytes();

    std::unique_ptr<HexDisplay> m_main;
    NullWindowSystem m_noWindows;
    std::unique_ptr<RunningApps> m_apps;
    QTemporaryDir m_dir;
};

namespace {

// Failures to open a file, told to the test rather than in a box.
struct NoMessages : Messages {
    QStringList shown;
    void show(QWidget *, const QString &text, const QString &) override { shown << text; }
};

} // namespace

// 3000 bytes, each its index modulo 256, the view at 0 and nothing selected.
void tst_WindowAccess::loadCountingBytes()
{
    QVERIFY(MainMods::ByteBuffer.allocate(3000));
    for (int i = 0; i < 3000; ++i)
        MainMods::ByteBuffer[i] = uint8_t(i);
    m_main->Realsc()->setValue(0);
    m_main->GoNow();
}

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
    // Under a bus the bridge comes up once it has reached it.
    if (qEnvironmentVariableIsSet("VELTRANO_ACCESSIBILITY_BUS"))
        QTRY_VERIFY_WITH_TIMEOUT(QAccessible::isActive(), 10000);

    m_main = std::make_unique<HexDisplay>();
    m_main->setMessages(std::make_shared<NoMessages>());
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
    loadCountingBytes();
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

// Records what the main window tells assistive technology, one line each.
struct Announcements {
    static inline QStringList seen;
    static void record(QAccessibleEvent *event)
    {
        switch (event->type()) {
        case QAccessible::ValueChanged:
            seen << QStringLiteral("value %1").arg(static_cast<QAccessibleValueChangeEvent *>(event)->value().toLongLong());
            break;
        case QAccessible::Focus:
            if (event->child() >= 0)
                seen << QStringLiteral("focus %1").arg(event->child());
            break;
        case QAccessible::SelectionAdd:
        case QAccessible::SelectionRemove:
            seen << QString::fromLatin1(event->type() == QAccessible::SelectionAdd ? "selected %1" : "unselected %1")
                        .arg(event->child());
            break;
        case QAccessible::ObjectShow:
            if (QAccessibleInterface *iface = event->accessibleInterface(); iface->role() == QAccessible::Notification)
                seen << QStringLiteral("said ") + iface->text(QAccessible::Name);
            break;
        default:
            break;
        }
    }
};

} // namespace

void tst_WindowAccess::gridIsATableOfNamedCells()
{
    HexDisplay &w = *m_main;
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
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
    QVERIFY(table->cellAt(3, 2)->state().selected);
    QCOMPARE(table->selectedCells(), QList<QAccessibleInterface *>{table->cellAt(3, 2)});
    // A new page hides the selection: no cell is focused any more.
    w.Realsc()->setValue(1080);
    QCOMPARE(grid->focusChild(), nullptr);
    QCOMPARE(table->selectedCellCount(), 0);

    // Each cell's one action, Press, does what a click does.
    QAccessibleActionInterface *press = table->cellAt(1, 5)->actionInterface();
    QVERIFY(press);
    QCOMPARE(press->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
    press->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(w.SelIndex(), 1080 + 85);
    QVERIFY(w.Text1(2)->hasFocus());
    QVERIFY(table->cellAt(1, 5)->tableCellInterface()->isSelected());

}

void tst_WindowAccess::chooserLabelsNameTheirOwnControls_data()
{
    QTest::addColumn<int>("label");
    QTest::addColumn<QString>("control"); // object name of the control it labels
    QTest::newRow("List Files of Type: the filter box") << 0 << "Combo1";
    QTest::newRow("Drives: the drive box") << 1 << "drvList";
    QTest::newRow("File Name: the name box") << 2 << "txtSearchSpec";
    QTest::newRow("Directories: the folder list") << 3 << "dirList";
}

// What a screen reader reads as each control's label is that control's own
// label, and only that one.
void tst_WindowAccess::chooserLabelsNameTheirOwnControls()
{
    QFETCH(int, label);
    QFETCH(QString, control);
    auto *chooser = static_cast<LoadSave *>(makeWindow(QStringLiteral("LoadSave")));
    QVERIFY(chooser);
    QWidget *labelled = chooser->findChild<QWidget *>(control);
    QVERIFY(labelled);
    // Qt's item views report no relations of their own; the folder list's
    // label says it from its side only.
    if (!qobject_cast<QListWidget *>(labelled)) {
        const auto relations = QAccessible::queryAccessibleInterface(labelled)->relations(QAccessible::Label);
        QCOMPARE(relations.size(), 1);
        QCOMPARE(relations.first().first->object(), chooser->Label1(label));
    }
    const auto labels = QAccessible::queryAccessibleInterface(chooser->Label1(label))->relations(QAccessible::Labelled);
    QCOMPARE(labels.size(), 1);
    QCOMPARE(labels.first().first->object(), labelled);
    chooser->hide();
}

void tst_WindowAccess::scrollBarReportsBytes_data()
{
    QTest::addColumn<qint64>("size"); // 0: the 3000 bytes held in memory
    QTest::addColumn<qint64>("view"); // where the view is put first
    QTest::newRow("3000 bytes") << qint64(0) << qint64(400);
    // Above 2 GiB the bar counts in units of its own; screen readers still
    // read and set bytes.
    QTest::newRow("5 GiB, mid file") << qint64(kHugeSize) << qint64(1610612737);
    QTest::newRow("5 GiB, past 2^32") << qint64(kHugeSize) << (qint64(1) << 32) + 17;
}

void tst_WindowAccess::scrollBarReportsBytes()
{
    QFETCH(qint64, size);
    QFETCH(qint64, view);
    HexDisplay &w = *m_main;
    if (size > 0) {
        const QString path = m_dir.filePath(QStringLiteral("huge.bin"));
        QVERIFY(QFile::exists(path) || makeSparseFile(path, size, hugeMarkers()));
        if (MainMods::ByteBuffer.size() != size)
            QVERIFY(w.openNamedFile(path));
    }
    const qint64 last = (size > 0 ? size : 3000) - 1;
    RealvScroll *bar = w.Realsc();
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(bar);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::ScrollBar);
    QAccessibleValueInterface *value = iface->valueInterface();
    QVERIFY(value);
    QCOMPARE(value->minimumValue().toLongLong(), 0);
    QCOMPARE(value->maximumValue().toLongLong(), last);
    QCOMPARE(value->minimumStepSize().toLongLong(), 80);

    // Set by assistive technology: the view starts at that byte.
    value->setCurrentValue(double(view));
    QCOMPARE(w.viewStart(), view);
    QCOMPARE(value->currentValue().toLongLong(), view);
    QCOMPARE(iface->text(QAccessible::Value), QString::number(view));
    // A row and a page of the bar's own steps are 80 and 1599 bytes.
    bar->setValue(bar->Value() + bar->ValueSmallChange());
    QCOMPARE(value->currentValue().toLongLong(), view + 80);
    bar->setValue(bar->Value() + bar->ValueLargeChange());
    QCOMPARE(value->currentValue().toLongLong(), view + 80 + 1599);
    // Capped at both ends, and the page follows.
    value->setCurrentValue(double(last) + 5000);
    QCOMPARE(w.viewStart(), last);
    QCOMPARE(w.ShowLab()->cellName(0).section(QLatin1Char(','), 0, 0), QStringLiteral("Position %1").arg(last + 1));
    value->setCurrentValue(-3.0);
    QCOMPARE(w.viewStart(), 0);
}

void tst_WindowAccess::movesAndFindsAreAnnounced()
{
    // Qt hands events to a handler only while the platform's accessibility
    // is on, which a headless platform never turns on.
    if (!QAccessible::isActive())
        QSKIP("this platform's accessibility is off, so Qt delivers no events");
    HexDisplay &w = *m_main;
    loadCountingBytes();
    for (int i = 0; i < 3; ++i)
        MainMods::ByteBuffer[2500 + i] = uint8_t("ZYX"[i]); // counting bytes only ever rise
    Announcements::seen.clear();
    QAccessible::installUpdateHandler(&Announcements::record);
    QTest::mouseClick(w.ShowLab(), Qt::LeftButton, {}, GridGeometry::cellRect(161).center());
    QTest::keyClick(w.Text1(2), Qt::Key_Right);
    QTest::keyClick(w.Text1(2), Qt::Key_Down);
    w.Realsc()->setValue(400);
    // Every Find is spoken: where its match is, as the cell's tip says it,
    // or that there is none.
    w.FindData_Click();
    w.findBox()->findChild<QLineEdit *>(QStringLiteral("Text1"))->setText(QStringLiteral("ZYX"));
    auto *find = w.findBox()->findChild<QPushButton *>(QStringLiteral("Command2"));
    find->click();
    find->click();
    find->click();
    QAccessible::installUpdateHandler(nullptr);
    w.findBox()->close();
    const QStringList expected{QStringLiteral("selected 161"),
                               QStringLiteral("focus 161"),
                               QStringLiteral("unselected 161"),
                               QStringLiteral("selected 162"),
                               QStringLiteral("focus 162"),
                               QStringLiteral("unselected 162"),
                               QStringLiteral("selected 242"),
                               QStringLiteral("focus 242"),
                               QStringLiteral("unselected 242"),
                               QStringLiteral("value 400"),
                               QStringLiteral("value 2491"),
                               QStringLiteral("said Position 2501, Asc 90, Hex 5A"),
                               QStringLiteral("said Not found"),
                               // After a miss the search starts over.
                               QStringLiteral("value 2491"),
                               QStringLiteral("said Position 2501, Asc 90, Hex 5A")};
    QVERIFY2(Announcements::seen == expected, qPrintable(Announcements::seen.join(QLatin1String(" | "))));
}

QTEST_MAIN(tst_WindowAccess)
#include "tst_windowaccess.moc"
