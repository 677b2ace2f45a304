// Renders the main window to PNG files for a person to look at:
//   render_main_window <folder>
// writes start.png (as the program starts), selected.png (a 5000-byte
// buffer scrolled to 300 with cell 165 selected) and findbox.png,
// loadsave.png and runningapps.png (the three dialogs as they open). Not a test: it asserts nothing.
// With RENDER_DARK_PALETTE=1 in the environment the application runs under a
// dark palette, as a dark desktop theme would give it.
#include "cellgrid.h"
#include "gridgeometry.h"
#include "hexdisplay.h"
#include "loadsave.h"
#include "mainmods.h"
#include "nullwindowsystem.h"
#include "realvscroll.h"
#include "runningapps.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QtTest>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (qEnvironmentVariableIntValue("RENDER_DARK_PALETTE") == 1) {
        QPalette dark;
        const QColor window(53, 53, 53), base(35, 35, 35), light(230, 230, 230);
        for (auto [role, colour] : {std::pair{QPalette::Window, window}, {QPalette::WindowText, light},
                                    {QPalette::Base, base}, {QPalette::Text, light}, {QPalette::Button, window},
                                    {QPalette::ButtonText, light}})
            dark.setColor(role, colour);
        QApplication::setPalette(dark);
    }
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath());
    HexDisplay w;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 1;
    w.grab().save(out.filePath(QStringLiteral("start.png")));
    MainMods::ByteBuffer.allocate(5000);
    for (int i = 0; i < 5000; ++i)
        MainMods::ByteBuffer[i] = uint8_t(i);
    w.GoNow();
    w.Realsc()->setValue(300);
    QTest::mouseClick(w.ShowLab(), Qt::LeftButton, {}, GridGeometry::cellRect(165).center());
    QApplication::processEvents();
    w.grab().save(out.filePath(QStringLiteral("selected.png")));

    const auto shoot = [&out](QWidget *dialog, const char *file) {
        dialog->show();
        if (QTest::qWaitForWindowExposed(dialog))
            dialog->grab().save(out.filePath(QString::fromLatin1(file)));
        dialog->hide();
    };
    w.FindData_Click();
    shoot(w.findBox(), "findbox.png");
    LoadSave *chooser = LoadSave::instance(&w);
    chooser->setWindowTitle(QStringLiteral("Load File..."));
    chooser->Command1(1)->setText(QStringLiteral("Load"));
    shoot(chooser, "loadsave.png");
    NullWindowSystem noWindows;
    RunningApps apps(noWindows);
    shoot(&apps, "runningapps.png");
    return 0;
}
