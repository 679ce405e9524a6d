#pragma once

// A real SMTP server with TLS and login for the tests: peers/tlssmtp.py
// (aiosmtpd's Controller) with certificates it makes from a private CA.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QtTest>

class TlsPeer
{
public:
    ~TlsPeer() { stop(); }

    // mode: starttls, tls or plain; cert: good, expired, selfsigned or
    // othername. False with the reason when the server cannot run here.
    bool start(const QString &mode, const QString &cert, const QStringList &extra, QString *why)
    {
        const QString python = QStringLiteral("/usr/bin/python3");
        if (QProcess::execute(python, {"-c", "import aiosmtpd, cryptography"}) != 0) {
            *why = QStringLiteral("aiosmtpd or cryptography is missing (packages python3-aiosmtpd, "
                                  "python3-cryptography)");
            return false;
        }
        m_folder = m_dir.filePath(QStringLiteral("peer"));
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.setReadChannel(QProcess::StandardOutput);
        m_process.start(python, QStringList{QStringLiteral(SENTROVA_SOURCE_DIR "/tests/mail/peers/tlssmtp.py"),
                                            m_folder, mode, cert} +
                                    extra);
        if (!m_process.waitForStarted(5000)) {
            *why = QStringLiteral("the TLS peer did not start: ") + m_process.errorString();
            return false;
        }
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 15000) {
            if (m_process.canReadLine()) {
                const QByteArray line = m_process.readLine().trimmed();
                if (line.startsWith("PORT ")) {
                    m_port = quint16(line.mid(5).toUInt());
                    return true;
                }
            }
            if (m_process.state() != QProcess::Running)
                break;
            m_process.waitForReadyRead(100);
        }
        *why = QStringLiteral("the TLS peer did not come up: ") + QString::fromLocal8Bit(m_process.readAllStandardError());
        return false;
    }

    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.closeWriteChannel();
            m_process.terminate();
            if (!m_process.waitForFinished(5000)) {
                m_process.kill();
                m_process.waitForFinished(3000);
            }
        }
    }

    quint16 port() const { return m_port; }
    QList<QSslCertificate> ca() const
    {
        return QSslCertificate::fromPath(QDir(m_folder).filePath(QStringLiteral("ca.pem")));
    }
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

#define START_TLS_PEER(peer, mode, cert, extra)                                                                        \
    do {                                                                                                               \
        QString why_;                                                                                                  \
        if (!(peer).start(mode, cert, extra, &why_)) {                                                                 \
            if (qEnvironmentVariable("CI") == QLatin1String("true"))                                                   \
                QFAIL(qPrintable(why_));                                                                               \
            QSKIP(qPrintable(why_));                                                                                   \
        }                                                                                                              \
    } while (0)
