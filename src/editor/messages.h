#pragma once
// The one way the editor tells the user that a file command failed: a box
// with an OK button and the application's title. Tests put a recorder in its
// place through HexDisplay::setMessages().
#include <QString>

class QWidget;

class Messages
{
public:
    virtual ~Messages() = default;
    virtual void show(QWidget *parent, const QString &text) = 0;
    // The same box with a second, smaller line saying why.
    virtual void show(QWidget *parent, const QString &text, const QString &detail)
    {
        (void)detail;
        show(parent, text);
    }
};

class MessageBoxMessages : public Messages
{
public:
    void show(QWidget *parent, const QString &text) override;
    void show(QWidget *parent, const QString &text, const QString &detail) override;
};
