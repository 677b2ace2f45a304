#pragma once
// Test support: a display server a test runs as a child process (Xvfb,
// sway), which it can stop, freeze and thaw to play one that hangs.
#include <QProcess>

#include <signal.h>

class ServerProcess
{
public:
    ~ServerProcess() { stop(); }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        resume();
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    void pause() { ::kill(pid_t(m_process.processId()), SIGSTOP); }
    void resume()
    {
        if (m_process.processId() > 0)
            ::kill(pid_t(m_process.processId()), SIGCONT);
    }

protected:
    QProcess m_process;
};
