#include "messages.h"

#include <QApplication>
#include <QMessageBox>

void MessageBoxMessages::show(QWidget *parent, const QString &text)
{
    QMessageBox::information(parent, QApplication::applicationName(), text, QMessageBox::Ok);
}
