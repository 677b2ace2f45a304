// Veltrano Editor: starts the main window.
#include "hexdisplay.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrano Editor"));
    QApplication::setApplicationVersion(QStringLiteral("1.01"));
    QApplication::setDesktopFileName(QStringLiteral("veltrano"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/veltrano/veltrano.png")));
    HexDisplay window;
    window.show();
    return app.exec();
}
