#pragma once
// Test support: a private headless sway for the life of one test, so tests
// that need a Wayland compositor never touch the developer's desktop. sway
// refuses to run as root, so under root (as in CI) it runs as the user nobody,
// in a runtime folder of its own that nobody owns. Clients reach it through
// the absolute path of its socket.
#include "serverprocess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

#include <wayland-client.h>

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

class SwayServer : public ServerProcess
{
public:
    // Stopped before the members it uses go.
    ~SwayServer() { stop(); }

    // Starts sway and waits until it answers clients. On failure, `why` says
    // what is missing (for QSKIP).
    bool start(QString *why)
    {
        const QString sway = QStandardPaths::findExecutable(QStringLiteral("sway"));
        if (sway.isEmpty()) {
            *why = QStringLiteral("sway is not installed");
            return false;
        }
        if (!m_dir.isValid()) {
            *why = QStringLiteral("no temporary folder for sway: ") + m_dir.errorString();
            return false;
        }
        const QString config = m_dir.filePath(QStringLiteral("config"));
        QFile configFile(config);
        // Native windows only: no XWayland.
        if (!configFile.open(QIODevice::WriteOnly) || configFile.write("xwayland disable\n") < 0
            || !configFile.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                          | QFile::ReadOther)) {
            *why = QStringLiteral("cannot write sway's configuration: ") + configFile.errorString();
            return false;
        }
        configFile.close();

        QStringList command{sway, QStringLiteral("-c"), config};
        if (::geteuid() == 0) {
            const passwd *nobody = ::getpwnam("nobody");
            const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
            if (!nobody || setpriv.isEmpty()) {
                *why = QStringLiteral("sway will not run as root, and there is no user nobody or no setpriv");
                return false;
            }
            if (::chown(QFile::encodeName(m_dir.path()).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
                *why = QStringLiteral("cannot hand sway's runtime folder to nobody");
                return false;
            }
            command = QStringList{setpriv, QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                                  QStringLiteral("--regid=%1").arg(nobody->pw_gid),
                                  QStringLiteral("--clear-groups")}
                + command;
        }

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"WAYLAND_DISPLAY", "WAYLAND_SOCKET", "DISPLAY"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
        environment.insert(QStringLiteral("HOME"), m_dir.path());
        environment.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
        environment.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
        environment.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
        environment.insert(QStringLiteral("WLR_HEADLESS_OUTPUTS"), QStringLiteral("1"));
        m_process.setProcessEnvironment(environment);
        // Its log goes to a file: a full pipe that nobody reads would stall it.
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("sway.log")));
        m_process.start(command.takeFirst(), command);
        if (!m_process.waitForStarted(10000)) {
            *why = QStringLiteral("sway did not start: ") + m_process.errorString();
            return false;
        }

        // The socket appears before sway serves it; a round trip proves it
        // does.
        const QDeadlineTimer deadline(20000);
        while (m_socket.isEmpty()) {
            const QStringList sockets = QDir(m_dir.path()).entryList({QStringLiteral("wayland-*")}, QDir::System);
            for (const QString &name : sockets) {
                if (!name.endsWith(QLatin1String(".lock")))
                    m_socket = m_dir.filePath(name);
            }
            if (m_socket.isEmpty() && (deadline.hasExpired() || m_process.waitForFinished(50))) {
                *why = QStringLiteral("sway offered no socket: ") + logTail();
                stop();
                return false;
            }
        }
        wl_display *probe = wl_display_connect(QFile::encodeName(m_socket).constData());
        const bool answers = probe && wl_display_roundtrip(probe) >= 0;
        if (probe)
            wl_display_disconnect(probe);
        if (!answers) {
            *why = QStringLiteral("sway does not answer: ") + logTail();
            stop();
            return false;
        }
        return true;
    }


    // The absolute path of the socket, which serves as WAYLAND_DISPLAY.
    QString socket() const { return m_socket; }
    QByteArray socketName() const { return QFile::encodeName(m_socket); }

private:
    QString logTail() const
    {
        QFile log(m_dir.filePath(QStringLiteral("sway.log")));
        return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll().right(300)) : QString();
    }

    QTemporaryDir m_dir;
    QString m_socket;
};
