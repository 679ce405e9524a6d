#pragma once

// Real web peers for the URL tests, started on loopback on free ports and
// stopped with the test: nginx (plain and TLS sites), tinyproxy, and a
// throw-away certificate authority made with the openssl tool.

#include <QDir>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

namespace WebPeers
{

// With CI=true a missing peer fails the test; otherwise it may skip.
inline bool ciMode()
{
    return qEnvironmentVariable("CI") == QLatin1String("true");
}

inline quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

inline bool waitForPort(quint16 port, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(500))
            return true;
        QThread::msleep(50);
    }
    return false;
}

inline bool runTool(const QString &program, const QStringList &args, const QString &dir, QString *why)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForStarted(10000) || !p.waitForFinished(60000) || p.exitCode() != 0) {
        *why = program + QLatin1String(" failed: ") + QString::fromLocal8Bit(p.readAll());
        return false;
    }
    return true;
}

inline bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

// Certificates made for one test run, all for 127.0.0.1:
//   ca.crt                the test authority (the client is told to trust it)
//   good.crt/.key         signed by it, names IP 127.0.0.1 and localhost
//   wrongname.crt/.key    signed by it, but for another name
//   rogue.crt/.key        self-signed, names 127.0.0.1 (nobody trusts it)
class TlsMaterial
{
public:
    bool make(QString *why)
    {
        const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
        if (openssl.isEmpty()) {
            *why = QStringLiteral("the openssl tool is missing (package openssl)");
            return false;
        }
        const QString d = m_dir.path();
        const QStringList ec = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                                QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
        auto req = [&](const QStringList &extra) { return QStringList{QStringLiteral("req")} + ec + extra; };
        if (!runTool(openssl,
                     req({"-x509", "-days", "2", "-keyout", "ca.key", "-out", "ca.crt", "-subj", "/CN=Sentrova Test CA",
                          "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                          "keyUsage=critical,keyCertSign,cRLSign"}),
                     d, why))
            return false;
        auto signedCert = [&](const QString &name, const QString &cn, const QString &san) {
            writeFile(d + QLatin1Char('/') + name + QLatin1String(".ext"),
                      ("basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\n"
                       "extendedKeyUsage=serverAuth\nsubjectAltName=" +
                       san + "\n")
                          .toLatin1());
            return runTool(openssl,
                           req({"-keyout", name + ".key", "-out", name + ".csr", "-subj", QLatin1String("/CN=") + cn}),
                           d, why) &&
                   runTool(openssl,
                           {"x509", "-req", "-in", name + ".csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                            "-CAcreateserial", "-days", "2", "-out", name + ".crt", "-extfile", name + ".ext"},
                           d, why);
        };
        if (!signedCert(QStringLiteral("good"), QStringLiteral("127.0.0.1"),
                        QStringLiteral("IP:127.0.0.1,DNS:localhost")) ||
            !signedCert(QStringLiteral("wrongname"), QStringLiteral("wrong.invalid"),
                        QStringLiteral("DNS:wrong.invalid")))
            return false;
        return runTool(openssl,
                       req({"-x509", "-days", "2", "-keyout", "rogue.key", "-out", "rogue.crt", "-subj",
                            "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"}),
                       d, why);
    }
    QString path(const QString &file) const { return m_dir.filePath(file); }

private:
    QTemporaryDir m_dir;
};

// nginx serving a small page at /index.html (and / ) and 404 for anything
// else, on one plain port and one TLS port per certificate given.
class NginxPeer
{
public:
    struct TlsSite {
        QString cert;
        QString key;
    };

    ~NginxPeer() { stop(); }

    bool start(const QList<TlsSite> &sites, QString *why)
    {
        const QString nginx = QStandardPaths::findExecutable(QStringLiteral("nginx"),
                                                             {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
        if (nginx.isEmpty()) {
            *why = QStringLiteral("nginx is missing (package nginx-light)");
            return false;
        }
        const QString d = m_dir.path();
        QDir().mkpath(d + QLatin1String("/www"));
        writeFile(d + QLatin1String("/www/index.html"), page());
        m_port = freePort();
        QByteArray servers =
            "  server { listen 127.0.0.1:" + QByteArray::number(m_port) + "; root " + d.toLocal8Bit() + "/www; }\n";
        m_tlsPorts.clear();
        for (const TlsSite &s : sites) {
            const quint16 p = freePort();
            m_tlsPorts << p;
            servers += "  server { listen 127.0.0.1:" + QByteArray::number(p) + " ssl; root " + d.toLocal8Bit() +
                       "/www; ssl_certificate " + s.cert.toLocal8Bit() + "; ssl_certificate_key " +
                       s.key.toLocal8Bit() + "; }\n";
        }
        const QByteArray dd = d.toLocal8Bit();
        const QByteArray conf = "master_process off;\ndaemon off;\npid " + dd + "/nginx.pid;\nerror_log " + dd +
                                "/error.log;\nevents { worker_connections 256; }\nhttp {\n  access_log off;\n"
                                "  client_body_temp_path " +
                                dd + "/body;\n  proxy_temp_path " + dd + "/proxy;\n  fastcgi_temp_path " + dd +
                                "/fastcgi;\n  uwsgi_temp_path " + dd + "/uwsgi;\n  scgi_temp_path " + dd + "/scgi;\n" +
                                servers + "}\n";
        writeFile(d + QLatin1String("/nginx.conf"), conf);
        m_proc.setProcessChannelMode(QProcess::MergedChannels);
        m_proc.start(nginx, {QStringLiteral("-c"), d + QLatin1String("/nginx.conf"), QStringLiteral("-p"), d,
                             QStringLiteral("-e"), d + QLatin1String("/error.log")});
        bool up = m_proc.waitForStarted(5000) && waitForPort(m_port, 5000);
        for (quint16 p : m_tlsPorts)
            up = up && waitForPort(p, 5000);
        if (!up) {
            QFile log(d + QLatin1String("/error.log"));
            log.open(QIODevice::ReadOnly);
            *why = QStringLiteral("nginx did not start: ") + QString::fromLocal8Bit(m_proc.readAll()) +
                   QString::fromLocal8Bit(log.readAll());
            stop();
            return false;
        }
        return true;
    }

    void stop()
    {
        if (m_proc.state() != QProcess::NotRunning) {
            m_proc.terminate();
            if (!m_proc.waitForFinished(5000)) {
                m_proc.kill();
                m_proc.waitForFinished(5000);
            }
        }
    }

    static QByteArray page() { return "<html><body>Sentrova test page</body></html>\n"; }
    quint16 port() const { return m_port; }
    quint16 tlsPort(int i) const { return m_tlsPorts.value(i); }
    QString url(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path); }
    QString tlsUrl(int i, const QString &path) const
    {
        return QStringLiteral("https://127.0.0.1:%1%2").arg(tlsPort(i)).arg(path);
    }

private:
    QTemporaryDir m_dir;
    QProcess m_proc;
    quint16 m_port = 0;
    QList<quint16> m_tlsPorts;
};

// tinyproxy on a free loopback port, allowing loopback clients only.
class TinyproxyPeer
{
public:
    ~TinyproxyPeer() { stop(); }

    bool start(QString *why)
    {
        const QString tinyproxy = QStandardPaths::findExecutable(
            QStringLiteral("tinyproxy"), {QStringLiteral("/usr/bin"), QStringLiteral("/usr/sbin")});
        if (tinyproxy.isEmpty()) {
            *why = QStringLiteral("tinyproxy is missing (package tinyproxy)");
            return false;
        }
        const QByteArray d = m_dir.path().toLocal8Bit();
        m_port = freePort();
        const QByteArray conf = "Port " + QByteArray::number(m_port) +
                                "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nAllow 127.0.0.1\n"
                                "LogFile \"" +
                                d + "/tinyproxy.log\"\nLogLevel Info\nPidFile \"" + d +
                                "/tinyproxy.pid\"\nDisableViaHeader Yes\n";
        writeFile(m_dir.filePath(QStringLiteral("tinyproxy.conf")), conf);
        m_proc.setProcessChannelMode(QProcess::MergedChannels);
        m_proc.start(tinyproxy,
                     {QStringLiteral("-d"), QStringLiteral("-c"), m_dir.filePath(QStringLiteral("tinyproxy.conf"))});
        if (!m_proc.waitForStarted(5000) || !waitForPort(m_port, 5000)) {
            *why = QStringLiteral("tinyproxy did not start: ") + QString::fromLocal8Bit(m_proc.readAll());
            stop();
            return false;
        }
        return true;
    }

    void stop()
    {
        if (m_proc.state() != QProcess::NotRunning) {
            m_proc.terminate();
            if (!m_proc.waitForFinished(5000)) {
                m_proc.kill();
                m_proc.waitForFinished(5000);
            }
        }
    }

    quint16 port() const { return m_port; }

private:
    QTemporaryDir m_dir;
    QProcess m_proc;
    quint16 m_port = 0;
};

} // namespace WebPeers
