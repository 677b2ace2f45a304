// Veltrano Editor: starts the main window.
#include "heldkeys.h"
#include "hexdisplay.h"
#include "windowsystem.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrano Editor"));
    QApplication::setApplicationVersion(QStringLiteral("1.01"));
    QApplication::setDesktopFileName(QStringLiteral("veltrano"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/veltrano/veltrano.png")));
    // A held key is one press and one release for the editor: the character
    // box moves once, the scroll bar repeats until the key comes up. On X11
    // the server can say so itself; where it cannot, a filter tells repeats
    // apart. Other platforms already report held keys that way.
    const bool detectable = WindowSystem::create()->requestDetectableAutoRepeat();
    if (!detectable && QGuiApplication::platformName() == QLatin1String("xcb"))
        HeldKeys::install(&app);
    HexDisplay window;
    window.show();
    return app.exec();
}
