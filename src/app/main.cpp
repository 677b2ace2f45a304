// Veltrano Editor: starts the main window.
#include "hexdisplay.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrano Editor"));
    QApplication::setApplicationVersion(QStringLiteral("1.01"));
    HexDisplay window;
    window.show();
    return app.exec();
}
