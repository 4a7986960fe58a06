// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MOSQUITTOBROKER_H
#define MOSQUITTOBROKER_H

// A real Mosquitto broker (Debian's mosquitto) on 127.0.0.1 at a free port, with a configuration
// of the test's own in `folder`: no persistence, anonymous clients, or one user with a password,
// and TLS with a certificate authority of its own. For the tests built with MOSQUITTO set to
// the broker's path. It is stopped when it goes; stopped and started again, it keeps its port.

#include "testfile.h"

#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

class MosquittoBroker
{
public:
    explicit MosquittoBroker(const QString &folder)
        : m_folder(folder)
    {}
    ~MosquittoBroker() { stop(); }

    // Before start(): only `user` with `password` may connect.
    bool requirePassword(const QString &user, const QString &password)
    {
        m_anonymous = false;
        m_extra += "password_file " + path("passwords") + '\n';
        return QProcess::execute(QStringLiteral(MOSQUITTO_PASSWD),
                                 {"-b", "-c", path("passwords"), user, password}) == 0;
    }

    // Before start(): TLS with a certificate for 127.0.0.1 signed by caFile().
    bool useTls()
    {
        const auto openssl = [this](const QStringList &arguments) {
            QProcess process;
            process.setWorkingDirectory(m_folder);
            process.start(QStringLiteral("openssl"), arguments);
            return process.waitForFinished(30000) && process.exitCode() == 0;
        };
        const QStringList key{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                              "-nodes"};
        m_extra += "cafile " + path("ca.crt") + "\ncertfile " + path("server.crt") + "\nkeyfile " +
                   path("server.key") + '\n';
        return writeTestFile(path("san.cnf"), "subjectAltName=IP:127.0.0.1\n") &&
               openssl(QStringList{"req", "-x509", "-days", "2", "-subj", "/CN=test ca", "-keyout",
                                   "ca.key", "-out", "ca.crt"} +
                       key) &&
               openssl(QStringList{"req", "-subj", "/CN=127.0.0.1", "-keyout", "server.key", "-out",
                                   "server.csr"} +
                       key) &&
               openssl({"x509", "-req", "-days", "2", "-in", "server.csr", "-CA", "ca.crt",
                        "-CAkey", "ca.key", "-CAcreateserial", "-extfile", "san.cnf", "-out",
                        "server.crt"});
    }
    QString caFile() const { return path("ca.crt"); }

    // Starts the broker and waits until it takes connections; a port that another program took
    // meanwhile is given up for another, except on a restart.
    bool start()
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (m_port == 0 || attempt > 0) {
                if (m_restart)
                    QThread::msleep(500); // the same port: until the system lets it go
                else
                    m_port = freePort();
            }
            if (launch())
                return m_restart = true;
        }
        return false;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_process.processId()), SIGTERM);
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

    quint16 port() const { return m_port; }
    QString url(const QString &prefix, const QString &user = QString()) const
    {
        const QString scheme = m_extra.contains("cafile") ? "mqtts://" : "mqtt://";
        return scheme + (user.isEmpty() ? QString() : user + u'@') +
               QStringLiteral("127.0.0.1:%1/").arg(m_port) + prefix;
    }

private:
    QString path(const char *name) const { return QDir(m_folder).filePath(QLatin1String(name)); }

    static quint16 freePort()
    {
        QTcpServer probe;
        return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
    }

    bool launch()
    {
        // As the README advises: a subscriber that falls behind keeps its frames for a while,
        // and frames go out at once.
        // Started by root, the broker would take another user's rights and not read the files.
        const QByteArray config = "user " + QByteArray(::getpwuid(::getuid())->pw_name) +
                                  "\nlistener " + QByteArray::number(m_port) +
                                  " 127.0.0.1\npersistence false\nmax_queued_messages 10000\n"
                                  "set_tcp_nodelay true\n"
                                  "log_type error\nallow_anonymous " +
                                  (m_anonymous ? "true\n" : "false\n") + m_extra.toUtf8();
        if (!writeTestFile(path("mosquitto.conf"), config))
            return false;
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(MOSQUITTO), {"-c", path("mosquitto.conf")});
        if (!m_process.waitForStarted())
            return false;
        // Taking connections, or gone (its port in use).
        for (int i = 0; i < 100 && m_process.state() == QProcess::Running; ++i) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, m_port);
            if (probe.waitForConnected(200))
                return true;
            QThread::msleep(50);
        }
        stop();
        return false;
    }

    QString m_folder;
    QString m_extra;
    QProcess m_process;
    quint16 m_port = 0;
    bool m_anonymous = true;
    bool m_restart = false;
};

#endif // MOSQUITTOBROKER_H
