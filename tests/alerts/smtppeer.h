#pragma once

// A real SMTP server for the tests: aiosmtpd started on a free loopback port
// with the recording handler of peers/recordsmtp.py, which stores every
// accepted message as a file.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

class SmtpPeer
{
public:
    ~SmtpPeer() { stop(); }

    // Starts the server; false with the reason when it cannot run here.
    bool start(QString *why)
    {
        if (!QFile::exists(QStringLiteral("/usr/bin/python3"))) {
            *why = QStringLiteral("/usr/bin/python3 is missing (package python3)");
            return false;
        }
        if (QProcess::execute(QStringLiteral("/usr/bin/python3"), {"-c", "import aiosmtpd"}) != 0) {
            *why = QStringLiteral("the Python module aiosmtpd is missing (package python3-aiosmtpd)");
            return false;
        }
        {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost, 0)) {
                *why = QStringLiteral("no free loopback port");
                return false;
            }
            m_port = probe.serverPort();
        }
        m_folder = m_dir.filePath(QStringLiteral("mails"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PYTHONPATH"), QStringLiteral(SENTROVA_SOURCE_DIR "/tests/alerts/peers"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        {"-m", "aiosmtpd", "-n", "-l", QStringLiteral("127.0.0.1:%1").arg(m_port), "-c",
                         "recordsmtp.RecordingHandler", m_folder});
        if (!m_process.waitForStarted(5000)) {
            *why = QStringLiteral("aiosmtpd did not start: ") + m_process.errorString();
            return false;
        }
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, m_port);
            if (s.waitForConnected(200)) {
                s.disconnectFromHost();
                return true;
            }
            if (m_process.state() != QProcess::Running)
                break;
            QTest::qWait(50);
        }
        *why = QStringLiteral("aiosmtpd did not accept connections on port %1").arg(m_port);
        stop();
        return false;
    }

    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000)) {
                m_process.kill();
                m_process.waitForFinished(3000);
            }
        }
    }

    quint16 port() const { return m_port; }

    // The recorded messages in arrival order: the envelope lines, an empty
    // line and the message as received after DATA.
    QList<QByteArray> messages() const
    {
        QList<QByteArray> out;
        const QStringList files = QDir(m_folder).entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name);
        for (const QString &f : files) {
            QFile file(QDir(m_folder).filePath(f));
            if (file.open(QIODevice::ReadOnly))
                out << file.readAll();
        }
        return out;
    }

private:
    QTemporaryDir m_dir;
    QString m_folder;
    QProcess m_process;
    quint16 m_port = 0;
};

// Starts the peer or leaves the test: a failure under CI, a skip elsewhere.
#define START_SMTP_PEER(peer)                                                                                          \
    do {                                                                                                               \
        QString why_;                                                                                                  \
        if (!(peer).start(&why_)) {                                                                                    \
            if (qEnvironmentVariable("CI") == QLatin1String("true"))                                                   \
                QFAIL(qPrintable(why_));                                                                               \
            QSKIP(qPrintable(why_));                                                                                   \
        }                                                                                                              \
    } while (0)
