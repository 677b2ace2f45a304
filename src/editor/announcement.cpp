#include "announcement.h"

#include <QAccessibleInterface>

namespace {

class NoteAccessible : public QAccessibleInterface
{
public:
    explicit NoteAccessible(QWidget *window)
        : m_window(window)
    {
    }

    QString m_text;

    bool isValid() const override { return !m_window.isNull(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_window ? m_window->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override
    {
        return m_window ? QAccessible::queryAccessibleInterface(m_window.data()) : nullptr;
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override { return t == QAccessible::Name ? m_text : QString(); }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override { return QRect(); }
    QAccessible::Role role() const override { return QAccessible::Notification; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.invalid = m_window.isNull();
        s.readOnly = true;
        return s;
    }

private:
    QPointer<QWidget> m_window;
};

} // namespace

Announcement::Announcement(QWidget *window)
    : m_window(window)
{
}

Announcement::~Announcement()
{
    if (m_id)
        QAccessible::deleteAccessibleInterface(m_id);
}

void Announcement::say(const QString &text)
{
    if (!m_id) {
        if (!m_window)
            return;
        m_id = QAccessible::registerAccessibleInterface(new NoteAccessible(m_window));
    }
    auto *note = static_cast<NoteAccessible *>(QAccessible::accessibleInterface(m_id));
    note->m_text = text;
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent shown(note, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

QString Announcement::lastText() const
{
    return m_id ? QAccessible::accessibleInterface(m_id)->text(QAccessible::Name) : QString();
}
