// The SMTP sender with STARTTLS, TLS on connect and login, against a real
// server (aiosmtpd) whose certificates come from a private CA: delivery,
// every way TLS or the login can fail, and IPv6.

#include "scriptedsmtp.h"
#include "tlspeer.h"

#include "mail/inetmail.h"

#include <QtTest>

class TestSendMailTls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void delivered_data();
    void delivered();
    void refused_data();
    void refused();
    void ipv6();

private:
    // Sends a/b from s@example.test to r@example.test; returns once done.
    void send(SendMail &mail, MailRecorder &rec, const QString &server, quint16 port);
};

void TestSendMailTls::initTestCase()
{
    if (!TStarSocket::TlsSupported())
        QFAIL("Qt has no TLS backend here (package libqt6network6 with OpenSSL)");
}

void TestSendMailTls::send(SendMail &mail, MailRecorder &rec, const QString &server, quint16 port)
{
    rec.attach(mail);
    mail.setSMTP_Server(server);
    mail.setSMTP_Port(port);
    mail.setFROM_Address(QStringLiteral("s@example.test"));
    mail.setTO_Address(QStringLiteral("r@example.test"));
    mail.setSubject(QStringLiteral("Test"));
    mail.setMailText({QStringLiteral("a"), QStringLiteral("b")});
    mail.setTimeoutReply(10);
    mail.setAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 20000);
    QTest::qWait(100);
    QCOMPARE(rec.done, 1);
}

void TestSendMailTls::delivered_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("cert");
    QTest::addColumn<QStringList>("peerOptions");
    QTest::addColumn<int>("security");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("acceptUntrusted");
    QTest::addColumn<QString>("mechanism"); // the AUTH line as traced

    const int starttls = SendMail::SecurityStartTls, tls = SendMail::SecurityTls;
    QTest::newRow("STARTTLS, AUTH PLAIN") << "starttls" << "good" << QStringList() << starttls << "s3cret" << false
                                          << "AUTH PLAIN ****";
    QTest::newRow("STARTTLS, AUTH LOGIN only")
        << "starttls" << "good" << QStringList{"--exclude", "PLAIN"} << starttls << "s3cret" << false << "AUTH LOGIN";
    QTest::newRow("TLS on connect") << "tls" << "good" << QStringList() << tls << "s3cret" << false
                                    << "AUTH PLAIN ****";
    // A password with every kind of character goes through as it is.
    const QString odd = QString::fromUtf8("p\u00e4ss w\u00f6rd:%\"'\\\u20ac\u4e2d");
    QTest::newRow("password of any characters")
        << "starttls" << "good" << QStringList{"--password", odd} << starttls << odd << false << "AUTH PLAIN ****";
    QTest::newRow("self-signed, accepted by choice")
        << "starttls" << "selfsigned" << QStringList() << starttls << "s3cret" << true << "AUTH PLAIN ****";
}

void TestSendMailTls::delivered()
{
    QFETCH(QString, mode);
    QFETCH(QString, cert);
    QFETCH(QStringList, peerOptions);
    QFETCH(int, security);
    QFETCH(QString, password);
    QFETCH(bool, acceptUntrusted);
    QFETCH(QString, mechanism);

    TlsPeer peer;
    START_TLS_PEER(peer, mode, cert, peerOptions);
    SendMail mail;
    MailRecorder rec;
    mail.setExtraCaCertificates(peer.ca());
    mail.setSecurity(SendMail::Security(security));
    mail.setUserName(QStringLiteral("alice"));
    mail.setPassword(password);
    mail.setAcceptUntrustedCertificate(acceptUntrusted);
    send(mail, rec, QStringLiteral("localhost"), peer.port());
    QVERIFY2(rec.errors.isEmpty(), qPrintable(rec.errors.value(0).second));
    QCOMPARE(rec.infoTexts(smMessageAccepted).size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(peer.messages().size(), 1, 5000);
    const QByteArray got = peer.messages().first();
    QVERIFY(got.startsWith("MAIL FROM:<s@example.test>\r\nRCPT TO:<r@example.test>\r\n\r\n"));
    QVERIFY(got.endsWith("\r\n\r\na\r\nb\r\n\r\n"));

    // The trace: EHLO, STARTTLS and EHLO again, then the login; the
    // password never shows.
    const QStringList out = rec.infoTexts(smTraceOut);
    QStringList verbs;
    for (const QString &line : out)
        verbs << line.trimmed().section(QLatin1Char(' '), 0, 0);
    const QStringList expectedStart = mode == "starttls"
                                          ? QStringList{"EHLO", "STARTTLS", "EHLO", mechanism.section(' ', 0, 0)}
                                          : QStringList{"EHLO", mechanism.section(' ', 0, 0)};
    QCOMPARE(verbs.mid(0, expectedStart.size()), expectedStart);
    QVERIFY(out.contains(mechanism + "\r\n"));
    for (const QString &line : out)
        QVERIFY2(!line.contains(password) && !line.contains(QString::fromLatin1(password.toUtf8().toBase64())),
                 qPrintable(line));
}

void TestSendMailTls::refused_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("cert");
    QTest::addColumn<QStringList>("peerOptions");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text"); // ends in '*': a prefix

    const int tlsError = smTlsError, login = smLoginRefused;
    QTest::newRow("wrong password") << "starttls" << "good" << QStringList() << "localhost" << "wrong" << login
                                    << "Login refused: 535*";
    QTest::newRow("expired certificate") << "starttls" << "expired" << QStringList() << "localhost" << "s3cret"
                                         << tlsError << "TLS handshake failed: certificate has expired";
    QTest::newRow("self-signed certificate") << "starttls" << "selfsigned" << QStringList() << "localhost"
                                             << "s3cret" << tlsError << "TLS handshake failed: self-signed certificate";
    QTest::newRow("certificate for another name")
        << "starttls" << "othername" << QStringList() << "localhost" << "s3cret" << tlsError
        << "TLS handshake failed: certificate is for another host name";
    QTest::newRow("expired, TLS on connect") << "tls" << "expired" << QStringList() << "localhost" << "s3cret"
                                             << tlsError << "TLS handshake failed: certificate has expired";
}

void TestSendMailTls::refused()
{
    QFETCH(QString, mode);
    QFETCH(QString, cert);
    QFETCH(QStringList, peerOptions);
    QFETCH(QString, server);
    QFETCH(QString, password);
    QFETCH(int, error);
    QFETCH(QString, text);

    TlsPeer peer;
    START_TLS_PEER(peer, mode, cert, peerOptions);
    SendMail mail;
    MailRecorder rec;
    mail.setExtraCaCertificates(peer.ca());
    mail.setSecurity(mode == "tls" ? SendMail::SecurityTls : SendMail::SecurityStartTls);
    mail.setUserName(QStringLiteral("alice"));
    mail.setPassword(password);
    send(mail, rec, server, peer.port());
    QCOMPARE(rec.errors.size(), 1);
    QCOMPARE(int(rec.errors.first().first), error);
    if (text.endsWith('*'))
        QVERIFY2(rec.errors.first().second.startsWith(text.chopped(1)), qPrintable(rec.errors.first().second));
    else
        QCOMPARE(rec.errors.first().second, text);
    QVERIFY(peer.messages().isEmpty());
    QVERIFY(!mail.Busy());
    QCOMPARE(mail.Socket(), -1);
    // A refused certificate ends the send before any login.
    if (error == smTlsError)
        for (const QString &line : rec.infoTexts(smTraceOut))
            QVERIFY2(!line.startsWith("AUTH"), qPrintable(line));
}

void TestSendMailTls::ipv6()
{
    // The same server on ::1, named by address with and without brackets:
    // plain as today, and with STARTTLS, the certificate naming ::1.
    for (const QString &mode : {QStringLiteral("plain"), QStringLiteral("starttls")}) {
        TlsPeer peer;
        START_TLS_PEER(peer, mode, QStringLiteral("good"), (QStringList{"--host", "::1", "--no-auth"}));
        for (const QString &server : {QStringLiteral("::1"), QStringLiteral("[::1]")}) {
            SendMail mail;
            MailRecorder rec;
            mail.setExtraCaCertificates(peer.ca());
            if (mode == "starttls")
                mail.setSecurity(SendMail::SecurityStartTls);
            send(mail, rec, server, peer.port());
            QVERIFY2(rec.errors.isEmpty(), qPrintable(mode + " " + server + ": " + rec.errors.value(0).second));
            QCOMPARE(rec.infoTexts(smServerConnected), QStringList{"::1"});
        }
        QTRY_COMPARE_WITH_TIMEOUT(peer.messages().size(), 2, 5000);
    }
}

QTEST_GUILESS_MAIN(TestSendMailTls)
#include "test_sendmail_tls.moc"
