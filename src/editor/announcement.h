#pragma once
// A sentence for screen readers that has no place of its own on the screen,
// such as the outcome of a Find. Qt's bridge to the desktop's accessibility
// bus carries no announcement event, so the sentence is offered as a
// notification that appears: screen readers speak those wherever the focus
// is, and nothing is drawn.
//
// The notification is an accessible object without a widget, a child of the
// window it is made for; it lives as long as this object.
#include <QAccessible>
#include <QPointer>
#include <QString>
#include <QWidget>

class Announcement
{
public:
    explicit Announcement(QWidget *window);
    ~Announcement();
    Announcement(const Announcement &) = delete;
    Announcement &operator=(const Announcement &) = delete;

    // Says `text` once; the same text said again is spoken again.
    void say(const QString &text);
    QString lastText() const;

private:
    QPointer<QWidget> m_window;
    QAccessible::Id m_id = 0;
};
