// The SMTP sender delivering to a real SMTP server (aiosmtpd on loopback):
// the message arrives, and the bytes the server took after DATA are exactly
// the lines the sender is meant to write.

#include "scriptedsmtp.h"

#include "mail/inetmail.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestSendMailSmtpd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void delivered_data();
    void delivered();

private:
    QProcess m_server;
    QTemporaryDir m_out;
    quint16 m_port = 0;
    int m_count = 0;
};

static void missingPeer(const char *what)
{
    if (qEnvironmentVariable("CI") == QLatin1String("true"))
        QFAIL(what);
    QSKIP(what);
}

void TestSendMailSmtpd::initTestCase()
{
    const QString python = QStringLiteral("/usr/bin/python3");
    if (QProcess::execute(python, {"-c", "import aiosmtpd"}) != 0)
        missingPeer("aiosmtpd is not installed (Debian package python3-aiosmtpd)");
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        m_port = probe.serverPort();
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PYTHONPATH", QStringLiteral(SENTROVA_SOURCE_DIR "/tests/mail/peers"));
    m_server.setProcessEnvironment(env);
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server.start(python, {"-m", "aiosmtpd", "-n", "-c", "capture_handler.Capture", "-l",
                            QStringLiteral("127.0.0.1:%1").arg(m_port), m_out.path()});
    QVERIFY(m_server.waitForStarted());
    // Ready once it greets a connection.
    bool ready = false;
    for (int i = 0; i < 100 && !ready; ++i) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, m_port);
        ready = s.waitForConnected(200) && s.waitForReadyRead(2000) && s.readAll().startsWith("220");
        if (!ready)
            QTest::qWait(100);
    }
    QVERIFY2(ready, "aiosmtpd did not start");
}

void TestSendMailSmtpd::cleanupTestCase()
{
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(5000))
            m_server.kill();
        m_server.waitForFinished(2000);
    }
}

void TestSendMailSmtpd::delivered_data()
{
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QStringList>("body");
    QTest::addColumn<QByteArray>("expected"); // from the Subject line on

    const QByteArray plain = "Mime-Version: 1.0\r\nContent-Type: text/plain; charset=\"us-ascii\"\r\n";
    const QByteArray qp = plain + "Content-Transfer-Encoding: quoted-printable\r\n";

    QTest::newRow("plain two lines") << "Test" << QStringList{"a", "b"}
                                     << "Subject: Test  \r\n" + plain + "\r\na\r\nb\r\n\r\n";
    QTest::newRow("100 x in quoted-printable") << "Test" << QStringList{QString(100, 'x'), "\t"}
                                               << "Subject: Test  \r\n" + qp + "\r\n" + QByteArray(71, 'x') + "=\r\n" +
                                                      QByteArray(29, 'x') + "=0D=0A=09=0D=0A\r\n";
    QTest::newRow("Q-encoded subject") << QString::fromUtf8("Gr\u00FC\u00DFe") << QStringList{"a"}
                                       << "Subject: =?ISO-8859-1?Q?Gr=FC=DFe?=  \r\n" + plain + "\r\na\r\n\r\n";
    QTest::newRow("300-character subject") << QString(300, 's') << QStringList{"a"}
                                           << "Subject: " + QByteArray(244, 's') + "\r\n" + plain + "\r\na\r\n\r\n";
    // The server takes the doubled dot off again; the message is not cut.
    QTest::newRow("a line of one dot") << "Test" << QStringList{".", "after"}
                                       << "Subject: Test  \r\n" + plain + "\r\n.\r\nafter\r\n\r\n";
}

void TestSendMailSmtpd::delivered()
{
    QFETCH(QString, subject);
    QFETCH(QStringList, body);
    QFETCH(QByteArray, expected);

    SendMail mail;
    MailRecorder rec;
    rec.attach(mail);
    mail.setSMTP_Server(QStringLiteral("127.0.0.1"));
    mail.setSMTP_Port(m_port);
    mail.setFROM_Address(QStringLiteral("s@example.test"));
    mail.setTO_Address(QStringLiteral("r@example.test"));
    mail.setSubject(subject);
    mail.setMailText(body);
    mail.setAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 15000);
    QTest::qWait(200);
    QCOMPARE(rec.done, 1);
    QVERIFY2(rec.errors.isEmpty(), qPrintable(rec.errors.value(0).second));
    QCOMPARE(rec.infoTexts(smMessageAccepted).size(), 1);

    ++m_count;
    QFile eml(QDir(m_out.path()).filePath(QStringLiteral("%1.eml").arg(m_count)));
    QFile env(QDir(m_out.path()).filePath(QStringLiteral("%1.env").arg(m_count)));
    QVERIFY2(eml.open(QIODevice::ReadOnly), "the server kept no message");
    QVERIFY(env.open(QIODevice::ReadOnly));
    QCOMPARE(env.readAll(), QByteArray("s@example.test\nr@example.test\n"));
    QCOMPARE(eml.readAll(), "From:  <s@example.test>\r\nTo: r@example.test;\r\n" + expected);
}

QTEST_GUILESS_MAIN(TestSendMailSmtpd)
#include "test_sendmail_smtpd.moc"
