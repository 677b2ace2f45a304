#include "heldkeys.h"

#include <QCoreApplication>
#include <QKeyEvent>

HeldKeys::HeldKeys(QObject *parent)
    : QObject(parent)
{
    m_grace.setSingleShot(true);
    m_grace.setInterval(kGraceMs);
    connect(&m_grace, &QTimer::timeout, this, &HeldKeys::deliverHeld);
}

HeldKeys *HeldKeys::install(QObject *parent)
{
    auto *filter = new HeldKeys(parent);
    QCoreApplication::instance()->installEventFilter(filter);
    return filter;
}

bool HeldKeys::eventFilter(QObject *watched, QEvent *event)
{
    // Key events reach the window first and then its focus widget; only the
    // widget's copy is held, so each release is held once.
    if (m_delivering || !watched->isWidgetType())
        return false;
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (m_held) {
        const bool repeat = event->type() == QEvent::KeyPress && watched == m_receiver
            && key->nativeScanCode() == m_held->nativeScanCode() && key->timestamp() == m_held->timestamp();
        if (repeat) {
            m_grace.stop();
            m_held.reset();
            return false; // the press goes on; the key is still down
        }
        deliverHeld();
    }
    if (event->type() == QEvent::KeyRelease && !key->isAutoRepeat()) {
        m_receiver = watched;
        m_held.reset(static_cast<QKeyEvent *>(key->clone()));
        m_grace.start();
        return true;
    }
    return false;
}

void HeldKeys::deliverHeld()
{
    m_grace.stop();
    const std::unique_ptr<QKeyEvent> held = std::move(m_held);
    if (!held || !m_receiver)
        return;
    m_delivering = true;
    QCoreApplication::sendEvent(m_receiver, held.get());
    m_delivering = false;
}
