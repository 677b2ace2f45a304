#pragma once
// The one way the editor tells the user that a file command failed: a box
// with an OK button and the application's title, the short sentence as its
// text and the file's name with the reason as its secondary text. Tests put
// a recorder in its place through HexDisplay::setMessages().
#include <QString>

class QWidget;

class Messages
{
public:
    virtual ~Messages() = default;
    virtual void show(QWidget *parent, const QString &text, const QString &detail) = 0;
};

class MessageBoxMessages : public Messages
{
public:
    void show(QWidget *parent, const QString &text, const QString &detail) override;
};
