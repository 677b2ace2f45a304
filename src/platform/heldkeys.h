#pragma once
// Makes a held key one press and one release where the window system reports
// it as release/press pairs and Qt cannot always tell them apart (X11 without
// detectable auto-repeat: Qt flags a pair only when both events are already
// queued together). An application-wide filter holds back each release that
// is not flagged as a repeat for a short grace; a press of the same key with
// the same timestamp within it shows the release was a repeat, and the
// release is dropped. Any other event of a key, or the end of the grace,
// delivers the held release to its receiver first.
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

class QKeyEvent;

class HeldKeys : public QObject
{
public:
    // How long a release waits for the press that would make it a repeat;
    // the server sends both together, so a few milliseconds suffice.
    static constexpr int kGraceMs = 30;

    // Installs the filter on the application; it lives as long as `parent`.
    static HeldKeys *install(QObject *parent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit HeldKeys(QObject *parent);
    void deliverHeld();

    QTimer m_grace;
    QPointer<QObject> m_receiver;
    std::unique_ptr<QKeyEvent> m_held;
    bool m_delivering = false;
};
