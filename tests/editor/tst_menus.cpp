// The menu bar and what its commands do to the program as a whole: one find
// window at most, Ctrl+F without the menu, the About submenu inside Edit, the
// web command that reports nothing.
#include "about.h"
#include "findbox.h"
#include "hexdisplay.h"
#include "mainmods.h"

#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>

class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

namespace {
QStringList texts(const QList<QAction *> &actions)
{
    QStringList out;
    for (QAction *a : actions)
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

} // namespace

class tst_Menus : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void menuBarLayout();
    void ctrlFOpensOneFindWindow();
    void webCommandReportsNothing();

private:
    HexDisplay *m_window = nullptr;
};

void tst_Menus::init()
{
    m_window = new HexDisplay;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void tst_Menus::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void tst_Menus::menuBarLayout()
{
    const QList<QAction *> top = m_window->menuBar()->actions();
    QCOMPARE(texts(top), (QStringList{QStringLiteral("&File"), QStringLiteral("&Edit")}));
    QCOMPARE(texts(top[0]->menu()->actions()),
             (QStringList{QStringLiteral("&Open File..."), QStringLiteral("-"), QStringLiteral("Sa&ve File..."),
                          QStringLiteral("Sav&e File As..."), QStringLiteral("-"), QStringLiteral("E&xit..")}));
    const QList<QAction *> edit = top[1]->menu()->actions();
    QCOMPARE(texts(edit),
             (QStringList{QStringLiteral("&Find..."), QStringLiteral("-"),
                          QStringLiteral("Shows ALL Applications Running on Windows..."), QStringLiteral("-"),
                          QStringLiteral("About")}));
    QCOMPARE(edit[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
    QMenu *about = edit[4]->menu();
    QVERIFY2(about, "About is a submenu inside Edit");
    QCOMPARE(about, m_window->A1());
    QCOMPARE(texts(about->actions()), (QStringList{About::kVersionLine, About::kWebLine}));
    QVERIFY(!m_window->A2()->isEnabled());
    QVERIFY(About::kWebLine.contains(QUrl(About::kWebAddress).host()));
}

void tst_Menus::ctrlFOpensOneFindWindow()
{
    QVERIFY(!m_window->findBox());
    QTest::keyClick(m_window, Qt::Key_F, Qt::ControlModifier);
    QPointer<FindBox> first = m_window->findBox();
    QVERIFY(first);
    QTRY_VERIFY(first->isVisible());
    QCOMPARE(first->windowTitle(), QStringLiteral("Find Binary Bytes..."));
    m_window->FindData()->trigger();
    QCOMPARE(m_window->findBox(), first.data());
    int findWindows = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        findWindows += qobject_cast<FindBox *>(w) != nullptr && !w->isHidden();
    QCOMPARE(findWindows, 1);
    // The main window stays usable: the dialog is modeless.
    QVERIFY(!first->isModal());
}

void tst_Menus::webCommandReportsNothing()
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QUrl(About::kWebAddress).scheme(), &recorder, "open");
    const QString title = m_window->windowTitle();
    const QWidgetList before = QApplication::topLevelWidgets();
    m_window->A3()->trigger();
    QDesktopServices::unsetUrlHandler(QUrl(About::kWebAddress).scheme());
    QCOMPARE(recorder.urls, QList<QUrl>{QUrl(About::kWebAddress)});
    QCOMPARE(m_window->windowTitle(), title);
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY2(before.contains(w) || w->isHidden(), "the web command shows no window");
}

QTEST_MAIN(tst_Menus)
#include "tst_menus.moc"
