#pragma once
// Test support: a window owned by a separate process (xwindowhelper), which
// decides by itself what to do with a close request.
#include <QProcess>
#include <QString>

#include <cstdint>

class HelperWindow
{
public:
    ~HelperWindow()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel(); // the helper leaves when stdin closes
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    bool start(const QString &display, const QString &caption, bool ignoreClose = false, bool map = false)
    {
        QStringList arguments{display, caption};
        if (ignoreClose)
            arguments << QStringLiteral("--ignore-close");
        if (map)
            arguments << QStringLiteral("--map");
        m_process.start(QStringLiteral(XWINDOWHELPER_PATH), arguments);
        if (!m_process.waitForStarted(5000))
            return false;
        while (!m_output.contains('\n')) {
            if (!m_process.waitForReadyRead(5000))
                return false;
            m_output += m_process.readAllStandardOutput();
        }
        const qsizetype end = m_output.indexOf('\n');
        const QByteArray line = m_output.left(end);
        m_output.remove(0, end + 1);
        if (!line.startsWith("ready "))
            return false;
        m_window = line.mid(6).toUInt();
        return m_window != 0;
    }

    uint32_t window() const { return m_window; }

    // True once the helper has reported a delete request.
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

private:
    QProcess m_process;
    QByteArray m_output;
    uint32_t m_window = 0;
};
