#pragma once
// Test support: a window owned by a separate process (xwindowhelper on X11,
// waylandwindowhelper on Wayland), which decides by itself what to do with a
// close request and reports "delete" when one arrives.
#include <QProcess>
#include <QString>

#include <cstdint>

class HelperWindow
{
public:
    ~HelperWindow() { quit(); }

#ifdef XWINDOWHELPER_PATH
    // A window on the X server `display`; window() is its id.
    bool start(const QString &display, const QString &caption, bool ignoreClose = false, bool map = false)
    {
        QStringList arguments{display, caption};
        if (ignoreClose)
            arguments << QStringLiteral("--ignore-close");
        if (map)
            arguments << QStringLiteral("--map");
        if (!launch(QStringLiteral(XWINDOWHELPER_PATH), arguments))
            return false;
        m_window = m_ready.mid(6).toUInt();
        return m_window != 0;
    }
#endif

#ifdef WAYLANDWINDOWHELPER_PATH
    // A window on the Wayland compositor at `socket`, mapped by the time this
    // returns. Only the compositor numbers it, so window() stays 0.
    bool startWayland(const QString &socket, const QString &caption, bool ignoreClose = false)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("WAYLAND_DISPLAY"), socket);
        m_process.setProcessEnvironment(environment);
        QStringList arguments{caption};
        if (ignoreClose)
            arguments << QStringLiteral("--ignore-close");
        return launch(QStringLiteral(WAYLANDWINDOWHELPER_PATH), arguments);
    }
#endif

    uint32_t window() const { return m_window; }

    // True once the helper has reported a close request.
    bool waitForDelete(int timeoutMs)
    {
        while (!m_output.contains("delete\n")) {
            if (!m_process.waitForReadyRead(timeoutMs))
                return false;
            m_output += m_process.readAllStandardOutput();
        }
        m_output.remove(m_output.indexOf("delete\n"), 7);
        return true;
    }

    bool waitForExit(int timeoutMs)
    {
        return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
    }

    bool isRunning() const { return m_process.state() == QProcess::Running; }

    // Ends the helper and its window, whatever it would do with a request.
    void quit()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel(); // the helper leaves when stdin closes
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

private:
    // Starts the helper and waits for its "ready" line, kept in m_ready.
    bool launch(const QString &program, const QStringList &arguments)
    {
        m_process.start(program, arguments);
        if (!m_process.waitForStarted(5000))
            return false;
        while (!m_output.contains('\n')) {
            if (!m_process.waitForReadyRead(5000))
                return false;
            m_output += m_process.readAllStandardOutput();
        }
        const qsizetype end = m_output.indexOf('\n');
        m_ready = m_output.left(end);
        m_output.remove(0, end + 1);
        return m_ready.startsWith("ready");
    }

    QProcess m_process;
    QByteArray m_output;
    QByteArray m_ready;
    uint32_t m_window = 0;
};
