#pragma once
// Test support: a private Xvfb for the life of one test case, so tests that
// need an X server never touch the developer's desktop.
#include "serverprocess.h"

#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <signal.h>

class XvfbServer : public ServerProcess
{
public:
    // Stopped before the members it uses go.
    ~XvfbServer() { stop(); }

    // Starts the server and waits until it accepts clients. On failure,
    // `why` says what is missing (for QSKIP).
    bool start(QString *why, const QString &screen = QStringLiteral("640x480x24"))
    {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (program.isEmpty()) {
            *why = QStringLiteral("Xvfb is not installed");
            return false;
        }
        // -noreset: the last client leaving must not reset the server while
        // the next case connects.
        // -displayfd: the server picks a free display number and writes it
        // to our stdout once it is ready for clients.
        m_process.setProgram(program);
        m_process.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"),
                                QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset"),
                                QStringLiteral("-screen"), QStringLiteral("0"),
                                screen});
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
        if (!m_process.waitForStarted(10000)) {
            *why = QStringLiteral("Xvfb did not start: ") + m_process.errorString();
            return false;
        }
        QByteArray output;
        while (!output.contains('\n')) {
            if (!m_process.waitForReadyRead(15000)) {
                *why = QStringLiteral("Xvfb did not report a display: ")
                    + QString::fromLocal8Bit(m_process.readAllStandardError().right(300));
                stop();
                return false;
            }
            output += m_process.readAllStandardOutput();
        }
        bool ok = false;
        const int number = output.trimmed().toInt(&ok);
        if (!ok) {
            *why = QStringLiteral("Xvfb wrote no display number");
            stop();
            return false;
        }
        m_display = QStringLiteral(":%1").arg(number);
        return true;
    }

    QString display() const { return m_display; }
    QByteArray displayName() const { return m_display.toLocal8Bit(); }

private:
    QString m_display;
};
