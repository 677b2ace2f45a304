#include "messages.h"

#include <QApplication>
#include <QMessageBox>

void MessageBoxMessages::show(QWidget *parent, const QString &text, const QString &detail)
{
    QMessageBox box(QMessageBox::Information, QApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    box.setInformativeText(detail);
    box.exec();
}
