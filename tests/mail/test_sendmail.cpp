// The SMTP sender against a scripted server on loopback: the dialogue, the
// message lines as they cross the wire, and every way a send can end.

#include "scriptedsmtp.h"

#include "mail/inetmail.h"

#include <QtTest>

namespace
{

const QString Sender = QStringLiteral("s@example.test");
const QString Recipient = QStringLiteral("r@example.test");

void prepare(SendMail &m, quint16 port)
{
    m.setSMTP_Server(QStringLiteral("127.0.0.1"));
    m.setSMTP_Port(port);
    m.setFROM_Address(Sender);
    m.setTO_Address(Recipient);
    m.setSubject(QStringLiteral("Test"));
    m.setMailText({QStringLiteral("a"), QStringLiteral("b")});
}

// Waits for the send to end, then lets events run a little longer so that
// a second OnDone or a late error would be seen.
bool finish(MailRecorder &r, int timeoutMs = 10000)
{
    QElapsedTimer t;
    t.start();
    while (r.done == 0 && t.elapsed() < timeoutMs)
        QTest::qWait(10);
    if (r.done == 0)
        return false;
    QTest::qWait(300);
    return true;
}

QByteArray hostLine()
{
    return "HELO " + TStarSocket::LocalHostName().toLatin1() + "\r\n";
}

const QByteArray ExampleMessage = "From:  <s@example.test>\r\n"
                                  "To: r@example.test;\r\n"
                                  "Subject: Test  \r\n"
                                  "Mime-Version: 1.0\r\n"
                                  "Content-Type: text/plain; charset=\"us-ascii\"\r\n"
                                  "\r\n"
                                  "a\r\n"
                                  "b\r\n"
                                  "\r\n"
                                  ".\r\n";

} // namespace

class TestSendMail : public QObject
{
    Q_OBJECT

private slots:
    void exampleDialogue();
    void messageOnTheWire_data();
    void messageOnTheWire();
    void sendEndsWithError_data();
    void sendEndsWithError();
    void finalLinesOfAnyNumberAreAcceptance_data();
    void finalLinesOfAnyNumberAreAcceptance();
    void loginAndSecurityDialogue_data();
    void loginAndSecurityDialogue();
    void multiLineGreetingAndDrippedReplies();
    void everyRecipientRefused();
    void emptyRecipientMakesNoConnection();
    void sendWhileBusyIsRefused();
    void consecutiveSendsGoToTheirOwnRecipients();
    void keepConnectionOpen();
    void cancelEndsWithoutErrorReport();
    void connectFailures_data();
    void connectFailures();
    void hostNameIsResolvedFirst();
    void quitWithoutAnswerOrClose_data();
    void quitWithoutAnswerOrClose();
    void pipelinedRepliesAreHandledInTurn();
    void largeBodyWaitsForTheServer();
    void attachmentsAndFedBody();
};

void TestSendMail::exampleDialogue()
{
    ScriptedSmtp server;
    SendMail mail;
    MailRecorder rec;
    rec.attach(mail);
    prepare(mail, server.port());
    mail.setAction(TMailAction::Send_Mail);
    QVERIFY(mail.Busy());
    QVERIFY(finish(rec));

    QCOMPARE(server.received, hostLine() + "MAIL FROM:<s@example.test>\r\nRCPT TO:<r@example.test>\r\nDATA\r\n" +
                                  ExampleMessage + "QUIT\r\n");
    QVERIFY(rec.errors.isEmpty());
    QCOMPARE(rec.done, 1);
    QVERIFY(!rec.busyAtDone);
    QCOMPARE(rec.infoTexts(smServerConnected), QStringList{"127.0.0.1"});
    QCOMPARE(rec.indexOf(smResolvingAddress), -1);
    QCOMPARE(rec.infoTexts(smRecipient), QStringList{Recipient});
    QCOMPARE(rec.infoTexts(smMessageSize), QStringList{"6"});
    QCOMPARE(rec.infoTexts(smSendingMessage), QStringList{"6"});
    QCOMPARE(rec.infoTexts(smMessageAccepted).size(), 1);
    QCOMPARE(rec.infoTexts(smTraceIn).first(), QStringLiteral("220 scripted ESMTP"));
    QCOMPARE(rec.infoTexts(smTraceOut).first(), QString::fromLatin1(hostLine()));
    // Each send goes only to the recipients set for it.
    QVERIFY(mail.TO_Address().isEmpty());
    QCOMPARE(mail.LastMailError(), smNone);
}

void TestSendMail::messageOnTheWire_data()
{
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QStringList>("body");
    QTest::addColumn<QByteArray>("expected"); // from the Subject line to the closing "."

    const QByteArray plain = "Mime-Version: 1.0\r\nContent-Type: text/plain; charset=\"us-ascii\"\r\n";
    const QByteArray qp = plain + "Content-Transfer-Encoding: quoted-printable\r\n";

    // The charset label says what the bytes are: é is a Windows-1252 byte.
    const QByteArray qp1252 = "Mime-Version: 1.0\r\nContent-Type: text/plain; charset=\"windows-1252\"\r\n"
                              "Content-Transfer-Encoding: quoted-printable\r\n";
    const QByteArray qpUtf8 = "Mime-Version: 1.0\r\nContent-Type: text/plain; charset=\"utf-8\"\r\n"
                              "Content-Transfer-Encoding: quoted-printable\r\n";
    QTest::newRow("100 x in quoted-printable") << "Test" << QStringList{QString(100, 'x') + QChar(0xE9)}
                                               << "Subject: Test  \r\n" + qp1252 + "\r\n" + QByteArray(71, 'x') +
                                                      "=\r\n" + QByteArray(29, 'x') + "=E9=0D=0A\r\n.\r\n";
    QTest::newRow("text beyond Windows-1252 is UTF-8, labelled so")
        << "Test" << QStringList{QString::fromUtf8("Да")}
        << "Subject: Test  \r\n" + qpUtf8 + "\r\n=D0=94=D0=B0=0D=0A\r\n.\r\n";
    QTest::newRow("subject in Windows-1252 only") << QString::fromUtf8("5 €") << QStringList{"a"}
                                                  << "Subject: =?windows-1252?Q?5_=80?=  \r\n" + plain +
                                                         "\r\na\r\n\r\n.\r\n";
    QTest::newRow("subject beyond Windows-1252") << QString::fromUtf8("中😀") << QStringList{"a"}
                                                 << "Subject: =?UTF-8?Q?=E4=B8=AD=F0=9F=98=80?=  \r\n" + plain +
                                                        "\r\na\r\n\r\n.\r\n";
    // 100 characters of three encoded bytes each: the word is cut after the
    // last whole character that fits, and still closed.
    QByteArray cutWord = "=?UTF-8?Q?";
    while (cutWord.size() + 9 + 9 + 2 <= 253)
        cutWord += "=E4=B8=AD";
    cutWord += "?=";
    QTest::newRow("long encoded subject cut between characters")
        << QString(100, QChar(0x4e2d)) << QStringList{"a"}
        << ("Subject: " + cutWord + "  ").left(253) + "\r\n" + plain + "\r\na\r\n\r\n.\r\n";
    QTest::newRow("tab and blank encoded")
        << "Test" << QStringList{"a b\tc"} << "Subject: Test  \r\n" + qp + "\r\na=20b=09c=0D=0A\r\n.\r\n";
    QTest::newRow("dot lines doubled") << "Test" << QStringList{".", "..x", "a."}
                                       << "Subject: Test  \r\n" + plain + "\r\n..\r\n...x\r\na.\r\n\r\n.\r\n";
    QTest::newRow("dot after a soft break doubled")
        << "Test" << QStringList{QString(71, 'x') + ".\t"}
        << "Subject: Test  \r\n" + qp + "\r\n" + QByteArray(71, 'x') + "=\r\n..=09=0D=0A\r\n.\r\n";
    QTest::newRow("lone line breaks become CR LF")
        << "Test" << QStringList{"one\ntwo\rthree"}
        << "Subject: Test  \r\n" + plain + "\r\none\r\ntwo\r\nthree\r\n\r\n.\r\n";
    QTest::newRow("no body") << "Test" << QStringList{} << "Subject: Test  \r\n" + plain + "\r\n.\r\n";
    QTest::newRow("no subject") << "" << QStringList{"a"} << plain + "\r\na\r\n\r\n.\r\n";
    QTest::newRow("Q-encoded subject") << QString::fromUtf8("Gr\u00FC\u00DFe") << QStringList{"a"}
                                       << "Subject: =?ISO-8859-1?Q?Gr=FC=DFe?=  \r\n" + plain + "\r\na\r\n\r\n.\r\n";
    QTest::newRow("Q-encoding of blank, equals, question mark, underscore")
        << QString::fromUtf8("\u00E9 a=b?c_d") << QStringList{"a"}
        << "Subject: =?ISO-8859-1?Q?=E9_a=3Db=3Fc=5Fd?=  \r\n" + plain + "\r\na\r\n\r\n.\r\n";
    QTest::newRow("300-character subject cut to a 253-character line")
        << QString(300, 's') << QStringList{"a"}
        << "Subject: " + QByteArray(244, 's') + "\r\n" + plain + "\r\na\r\n\r\n.\r\n";
    QTest::newRow("line break in the subject becomes a blank")
        << "Hi\r\nBcc: evil@example.test" << QStringList{"a"}
        << "Subject: Hi  Bcc: evil@example.test  \r\n" + plain + "\r\na\r\n\r\n.\r\n";
}

void TestSendMail::messageOnTheWire()
{
    QFETCH(QString, subject);
    QFETCH(QStringList, body);
    QFETCH(QByteArray, expected);

    ScriptedSmtp server;
    SendMail mail;
    MailRecorder rec;
    rec.attach(mail);
    prepare(mail, server.port());
    mail.setSubject(subject);
    mail.setMailText(body);
    mail.setAction(TMailAction::Send_Mail);
    QVERIFY(finish(rec));
    QVERIFY2(rec.errors.isEmpty(), qPrintable(rec.errors.value(0).second));
    QCOMPARE(server.messages.size(), 1);
    const QByteArray head = "From:  <s@example.test>\r\nTo: r@example.test;\r\n";
    QCOMPARE(server.messages.first(), head + expected);
}

void TestSendMail::sendEndsWithError_data()
{
    QTest::addColumn<QList<QByteArray>>("greeting");
    QTest::addColumn<QByteArray>("verb");  // the command whose reply is replaced ("" for none)
    QTest::addColumn<QByteArray>("reply"); // its reply
    QTest::addColumn<int>("dripMs");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text"); // ends in '*': a prefix

    const QList<QByteArray> hello{"220 hi\r\n"};
    const int proto = smProtocolError, timeout = smConnectTimeOut, premature = smPrematureDisconnect;

    QTest::newRow("4xx to HELO") << hello << QByteArray("HELO") << QByteArray("421 busy\r\n") << 0 << proto
                                 << "Unexpected response: 421 busy";
    QTest::newRow("5xx to MAIL") << hello << QByteArray("MAIL") << QByteArray("553 sender refused\r\n") << 0 << proto
                                 << "Unexpected response: 553 sender refused";
    QTest::newRow("5xx to RCPT, then to DATA") << hello << QByteArray("RCPT") << QByteArray("550 no such user\r\n") << 0
                                               << proto << "Unexpected response: 554 no valid recipients";
    QTest::newRow("5xx to the message") << hello << QByteArray(".") << QByteArray("552 too big\r\n") << 0 << proto
                                        << "Unexpected response: 552 too big";
    QTest::newRow("refusing greeting") << QList<QByteArray>{"554 go away\r\n"} << QByteArray() << QByteArray() << 0
                                       << proto << "Unexpected response: 554 go away";
    QTest::newRow("never answers") << QList<QByteArray>{ScriptedSmtp::Silent} << QByteArray() << QByteArray() << 0
                                   << timeout << "Connection timed out";
    QTest::newRow("silent after HELO") << hello << QByteArray("HELO") << ScriptedSmtp::Silent << 0 << timeout
                                       << "Connection timed out";
    QTest::newRow("silent after the message")
        << hello << QByteArray(".") << ScriptedSmtp::Silent << 0 << timeout << "Connection timed out";
    QTest::newRow("closes on MAIL") << hello << QByteArray("MAIL") << ScriptedSmtp::Close << 0 << premature
                                    << "Prematurely Disconnected";
    QTest::newRow("closes after the greeting") << QList<QByteArray>{"220 hi\r\n", ScriptedSmtp::Close} << QByteArray()
                                               << QByteArray() << 0 << premature << "Prematurely Disconnected";
    QTest::newRow("empty line") << QList<QByteArray>{"\r\n"} << QByteArray() << QByteArray() << 0 << proto
                                << "Unexpected response: ";
    QTest::newRow("dash first") << QList<QByteArray>{"-220 hi\r\n"} << QByteArray() << QByteArray() << 0 << proto
                                << "Unexpected response: -220 hi";
    QTest::newRow("1 MB without a line end") << QList<QByteArray>{QByteArray(1 << 20, 'x')} << QByteArray()
                                             << QByteArray() << 0 << proto << "Unexpected response: xxxx*";
    QTest::newRow("endless continuation lines")
        << QList<QByteArray>{QByteArray("220-more\r\n").repeated(20000)} << QByteArray() << QByteArray() << 0 << timeout
        << "Connection timed out";
    QTest::newRow("drips one byte a second, no line end")
        << QList<QByteArray>{"220 " + QByteArray(40, 'x')} << QByteArray() << QByteArray() << 1000 << timeout
        << "Connection timed out";
}

void TestSendMail::sendEndsWithError()
{
    QFETCH(QList<QByteArray>, greeting);
    QFETCH(QByteArray, verb);
    QFETCH(QByteArray, reply);
    QFETCH(int, dripMs);
    QFETCH(int, error);
    QFETCH(QString, text);

    ScriptedSmtp server;
    server.greeting = greeting;
    server.dripMs = dripMs;
    if (!verb.isEmpty())
        server.replies[verb] = reply;
    if (verb == "RCPT")
        server.replies["DATA"] = "554 no valid recipients\r\n";
    SendMail mail;
    mail.setTimeoutReply(2);
    MailRecorder rec;
    rec.attach(mail);
    prepare(mail, server.port());
    mail.setAction(TMailAction::Send_Mail);
    QVERIFY(finish(rec, 15000));

    QCOMPARE(rec.errors.size(), 1);
    QCOMPARE(int(rec.errors.first().first), error);
    if (text.endsWith('*')) {
        QVERIFY(rec.errors.first().second.startsWith(text.chopped(1)));
        // The partial line kept is bounded, not the megabyte that came.
        QVERIFY(rec.errors.first().second.size() <= SendMail::MaxReplyLine + 32);
    } else {
        QCOMPARE(rec.errors.first().second, text);
    }
    QCOMPARE(int(mail.LastMailError()), error);
    QCOMPARE(rec.done, 1);
    QVERIFY(!rec.busyAtDone);
    QVERIFY(!mail.Busy());
    QCOMPARE(server.connections, 1);
    QVERIFY(mail.TO_Address().isEmpty());
    QCOMPARE(mail.Socket(), -1);
    if (verb == "RCPT") {
        QCOMPARE(rec.infoTexts(smBadAddress), QStringList{Recipient});
        QVERIFY(server.received.contains("\r\nDATA\r\n"));
    }
    if (error == smPrematureDisconnect)
        QCOMPARE(rec.infoTexts(smServerDisconnected).size(), 1);
}

void TestSendMail::finalLinesOfAnyNumberAreAcceptance_data()
{
    QTest::addColumn<QList<QByteArray>>("greeting");
    QTest::addColumn<QByteArray>("verb"); // the command whose reply is replaced ("" for none)
    QTest::addColumn<QByteArray>("reply");

    // Only the first character decides, and a line of up to three
    // characters is final: none of these refuses anything.
    const QList<QByteArray> hello{"220 hi\r\n"};
    QTest::newRow("greeting without a code") << QList<QByteArray>{"hello there\r\n"} << QByteArray() << QByteArray();
    QTest::newRow("greeting of one character") << QList<QByteArray>{"2\r\n"} << QByteArray() << QByteArray();
    QTest::newRow("greeting of two digits") << QList<QByteArray>{"25\r\n"} << QByteArray() << QByteArray();
    QTest::newRow("three characters, no dash") << QList<QByteArray>{"22-\r\n"} << QByteArray() << QByteArray();
    QTest::newRow("words to RCPT") << hello << QByteArray("RCPT") << QByteArray("ok\r\n");
    QTest::newRow("a 1xx code to MAIL") << hello << QByteArray("MAIL") << QByteArray("199 fine\r\n");
}

void TestSendMail::finalLinesOfAnyNumberAreAcceptance()
{
    QFETCH(QList<QByteArray>, greeting);
    QFETCH(QByteArray, verb);
    QFETCH(QByteArray, reply);

    ScriptedSmtp server;
    server.greeting = greeting;
    if (!verb.isEmpty())
        server.replies[verb] = reply;
    SendMail mail;
    MailRecorder rec;
    rec.attach(mail);
    prepare(mail, server.port());
    mail.setAction(TMailAction::Send_Mail);
    QVERIFY(finish(rec));
    QVERIFY2(rec.errors.isEmpty(), qPrintable(rec.errors.value(0).second));
    QCOMPARE(rec.infoTexts(smMessageAccepted).size(), 1);
    QCOMPARE(server.messages.value(0), ExampleMessage);
    QVERIFY(server.received.startsWith(hostLine()));
}

using Replies = QHash<QByteArray, QByteArray>;

void TestSendMail::loginAndSecurityDialogue_data()
{
    QTest::addColumn<int>("security");
    QTest::addColumn<Replies>("replies");
    QTest::addColumn<QByteArray>("dialogue"); // what the server received up to MAIL FROM (or all of it)
    QTest::addColumn<int>("error");           // smNone: delivered
    QTest::addColumn<QString>("text");        // ends in '*': a prefix

    const QByteArray host = TStarSocket::LocalHostName().toLatin1();
    const QByteArray ehlo = "EHLO " + host + "\r\n";
    const QByteArray plain = "AUTH PLAIN " + QByteArray("\0alice\0s3cret", 13).toBase64() + "\r\n";
    const int none = SendMail::SecurityNone, starttls = SendMail::SecurityStartTls;
    auto offering = [](const QByteArray &ehloReply) {
        QHash<QByteArray, QByteArray> r{{"EHLO", ehloReply}};
        r.insert("AUTH", "235 2.7.0 ok\r\n");
        return r;
    };

    QTest::newRow("no security, AUTH PLAIN")
        << none << offering("250-hi\r\n250-AUTH LOGIN PLAIN\r\n250 8BITMIME\r\n") << ehlo + plain << int(smNone)
        << QString();
    QHash<QByteArray, QByteArray> login = offering("250-hi\r\n250 AUTH LOGIN\r\n");
    login["AUTH"] = "334 VXNlcm5hbWU6\r\n";
    login["YWXP"] = "334 UGFzc3dvcmQ6\r\n"; // after the user name "YWxpY2U="
    login["CZNJ"] = "235 ok\r\n";            // after the password "czNjcmV0"
    QTest::newRow("no security, AUTH LOGIN") << none << login << ehlo + "AUTH LOGIN\r\nYWxpY2U=\r\nczNjcmV0\r\n"
                                             << int(smNone) << QString();
    QTest::newRow("EHLO unknown: HELO, and no login method")
        << none << offering("502 what is EHLO\r\n") << ehlo + hostLine() << int(smNoLoginMethod)
        << "Login failed: the server offers no login method this program knows (none)";
    QTest::newRow("only CRAM-MD5 offered")
        << none << offering("250-hi\r\n250 AUTH CRAM-MD5\r\n") << ehlo << int(smNoLoginMethod)
        << "Login failed: the server offers no login method this program knows (CRAM-MD5)";
    QTest::newRow("login refused") << none
                                   << QHash<QByteArray, QByteArray>{{"EHLO", "250 AUTH PLAIN\r\n"},
                                                                    {"AUTH", "535 5.7.8 bad credentials\r\n"}}
                                   << ehlo + plain << int(smLoginRefused) << "Login refused: 535 5.7.8 bad credentials";
    // With STARTTLS chosen, nothing of the login ever goes out in the clear.
    QTest::newRow("STARTTLS not offered") << starttls << offering("250-hi\r\n250 AUTH PLAIN\r\n") << ehlo
                                          << int(smTlsError) << "TLS handshake failed: the server offers no STARTTLS";
    QHash<QByteArray, QByteArray> drop = offering("250-hi\r\n250-STARTTLS\r\n250 AUTH PLAIN\r\n");
    drop["STAR"] = "220 go ahead\r\n" + ScriptedSmtp::Close;
    QTest::newRow("drops the connection after STARTTLS")
        << starttls << drop << ehlo + "STARTTLS\r\n" << int(smTlsError)
        << "TLS handshake failed: the server closed the connection";
    QHash<QByteArray, QByteArray> refuse = drop;
    refuse["STAR"] = "454 4.7.0 TLS not available\r\n";
    QTest::newRow("STARTTLS refused") << starttls << refuse << ehlo + "STARTTLS\r\n" << int(smTlsError)
                                      << "STARTTLS refused: 454 4.7.0 TLS not available";
    // The server answers the TLS hello with plain text (rawAnswer below).
    Replies garbage = drop;
    garbage["STAR"] = "220 go ahead\r\n";
    QTest::newRow("handshake fails") << starttls << garbage << QByteArray() << int(smTlsError)
                                     << "TLS handshake failed: *";
}

void TestSendMail::loginAndSecurityDialogue()
{
    QFETCH(int, security);
    QFETCH(Replies, replies);
    QFETCH(QByteArray, dialogue);
    QFETCH(int, error);
    QFETCH(QString, text);

    ScriptedSmtp server;
    for (auto it = replies.cbegin(); it != replies.cend(); ++it)
        server.replies[it.key()] = it.value();
    server.rawAfterVerb = "STAR";
    server.rawAnswer = "500 this is not TLS at all\r\n";
    SendMail mail;
    mail.setTimeoutReply(5);
    MailRecorder rec;
    rec.attach(mail);
    prepare(mail, server.port());
    mail.setSecurity(SendMail::Security(security));
    mail.setUserName(QStringLiteral("alice"));
    mail.setPassword(QStringLiteral("s3cret"));
    mail.setAction(TMailAction::Send_Mail);
    QVERIFY(finish(rec, 15000));

    if (error == smNone) {
        QVERIFY2(rec.errors.isEmpty(), qPrintable(rec.errors.value(0).second));
        QVERIFY(server.received.startsWith(dialogue + "MAIL FROM:<s@example.test>\r\n"));
        QCOMPARE(server.messages.value(0), ExampleMessage);
    } else {
        QCOMPARE(rec.errors.size(), 1);
        QCOMPARE(int(rec.errors.first().first), error);
        if (text.endsWith('*'))
            QVERIFY2(rec.errors.first().second.startsWith(text.chopped(1)), qPrintable(rec.errors.first().second));
        else
            QCOMPARE(rec.errors.first().second, text);
        if (!dialogue.isEmpty())
            QCOMPARE(server.received, dialogue);
        QVERIFY(server.messages.isEmpty());
        QCOMPARE(rec.done, 1);
        QVERIFY(!mail.Busy());
        QCOMPARE(mail.Socket(), -1);
    }
    // The password is never in the trace, and before TLS never on the wire
    // unless the security setting is None.
    for (const QString &line : rec.infoTexts(smTraceOut))
        QVERIFY2(!line.contains(QLatin1String("s3cret")) && !line.contains(QLatin1String("czNjcmV0")) &&
                     !line.contains(QLatin1String("AGFsaWNlAHMzY3JldA")),
                 qPrintable(line));
    if (security != SendMail::SecurityNone)
        QVERIFY(!server.received.contains("AUTH"));
}

void TestSendMail::multiLineGreetingAndDrippedReplies()
{
    ScriptedSmtp server;
    server.greeting = {"220-first line\r\n", "220 second line\r\n"};
    server.chunkDelayMs = 300;
    server.dripMs = 3;
    server.replies["HELO"] = "250-hello\r\n250-PIPELINING\r\n250 8BITMIME\r\n";
    SendMail mail;
    MailRecorder rec;
    rec.attach(mail);
    prepare(mail, server.port());
    mail.setAction(TMailAction::Send_Mail);
    QVERIFY(finish(rec));
    QVERIFY(rec.errors.isEmpty());
    QCOMPARE(rec.done, 1);
    // HELO went out once, only after the last line of the greeting.
    QCOMPARE(server.receivedAtChunk.size(), 2);
    QVERIFY(!server.receivedAtChunk[1].contains("HELO"));
    QCOMPARE(server.received.count("HELO"), 1);
    QCOMPARE(server.received.count("MAIL FROM"), 1);
    QCOMPARE(server.messages.size(), 1);
    QCOMPARE(rec.infoTexts(smTraceIn).mid(0, 5),
             (QStringList{"220-first line", "220 second line", "250-hello", "250-PIPELINING", "250 8BITMIME"}));
}

void TestSendMail::everyRecipientRefused()
{
    ScriptedSmtp server;
    server.replies["RCPT"] = "550 unknown\r\n";
    server.replies["DATA"] = "503 no valid recipients\r\n";
    SendMail mail;
    MailRecorder rec;
    rec.attach(mail);
    prepare(mail, server.port());
    mail.setListTo({"b@example.test|Bee"});
    mail.setListcc({"c@example.test"});
    mail.setListBcc({"d@example.test|Dee"});
    mail.setAction(TMailAction::Send_Mail);
    QVERIFY(finish(rec));

    const QStringList all{Recipient, "b@example.test", "c@example.test", "d@example.test"};
    QCOMPARE(rec.infoTexts(smRecipient), all);
    QCOMPARE(rec.infoTexts(smBadAddress), all);
    QCOMPARE(server.received.count("RCPT TO:"), 4);
    QCOMPARE(rec.errors.size(), 1);
    QCOMPARE(rec.errors.first().first, smProtocolError);
    QCOMPARE(rec.errors.first().second, QStringLiteral("Unexpected response: 503 no valid recipients"));
    QCOMPARE(rec.done, 1);
    QVERIFY(mail.TO_Address().isEmpty());
    QVERIFY(mail.ListTo().isEmpty() && mail.Listcc().isEmpty() && mail.ListBcc().isEmpty());
}

void TestSendMail::emptyRecipientMakesNoConnection()
{
    ScriptedSmtp server;
    SendMail mail;
    MailRecorder rec;
    rec.attach(mail);
    prepare(mail, server.port());
    mail.setTO_Address(QString());
    mail.setAction(TMailAction::Send_Mail);
    QVERIFY(finish(rec));
    QCOMPARE(rec.errors.size(), 1);
    QCOMPARE(rec.errors.first().first, smMailDestinationError);
    QCOMPARE(rec.errors.first().second, QStringLiteral("Mail Destination Error"));
    QCOMPARE(rec.done, 1);
    QCOMPARE(server.connections, 0);
    QCOMPARE(rec.indexOf(smServerConnected), -1);
}

void TestSendMail::sendWhileBusyIsRefused()
{
    ScriptedSmtp server;
    server.dripMs = 2;
    SendMail mail;
    MailRecorder rec;
    rec.attach(mail);
    // A second request from inside the running dialogue (the sender lets
    // events run while it writes) is refused just the same.
    int nested = 0;
    auto inner = mail.OnMailInfo;
    mail.OnMailInfo = [&](SendMail *m, SendMailInfo i, const QString &t) {
        inner(m, i, t);
        if (i == smRecipient && nested++ == 0) {
            m->setTO_Address(QStringLiteral("other@example.test"));
            m->setAction(TMailAction::Send_Mail);
        }
    };
    prepare(mail, server.port());
    mail.setAction(TMailAction::Send_Mail);
    mail.setTO_Address(QStringLiteral("late@example.test"));
    mail.setSubject(QStringLiteral("Changed"));
    mail.setAction(TMailAction::Send_Mail);
    QVERIFY(finish(rec));

    QCOMPARE(rec.infoTexts(smAlreadyBusy).size(), 2);
    QVERIFY(rec.errors.isEmpty());
    QCOMPARE(rec.done, 1);
    QCOMPARE(server.connections, 1);
    QCOMPARE(server.received.count("RCPT TO:"), 1);
    QVERIFY(server.received.contains("RCPT TO:<r@example.test>"));
    QCOMPARE(server.messages.size(), 1);
    QVERIFY(server.messages.first().contains("Subject: Test  \r\n"));
}

void TestSendMail::consecutiveSendsGoToTheirOwnRecipients()
{
    ScriptedSmtp server;
    SendMail mail;
    MailRecorder rec;
    rec.attach(mail);
    prepare(mail, server.port());
    mail.setListTo({"second@example.test|Second Person"});
    mail.setListcc({"cc@example.test", "named@example.test|N\u00E4med"});
    mail.setHeaders({"X-Priority: 1", "X-Note: caf\u00E9", "NoColonLine", ""});
    mail.setAction(TMailAction::Send_Mail);
    QVERIFY(finish(rec));
    QCOMPARE(server.messages.size(), 1);
    QByteArray first = server.messages.first();
    QVERIFY(first.startsWith("From:  <s@example.test>\r\n"
                             "To: r@example.test;\r\n"
                             "To: Second Person <second@example.test>\r\n"
                             "cc: cc@example.test\r\n"
                             "cc: =?ISO-8859-1?Q?N=E4med?= <named@example.test>\r\n"
                             "Subject: Test  \r\n"
                             "Mime-Version: 1.0\r\n"
                             "Content-Type: text/plain; charset=\"us-ascii\"\r\n"
                             "X-Priority: 1  \r\n"
                             "X-Note: =?ISO-8859-1?Q?caf=E9?=  \r\n"
                             "NoColonLine\r\n"
                             "\r\n"
                             "a\r\n"));
    QCOMPARE(server.received.count("RCPT TO:"), 4);

    rec = MailRecorder();
    rec.attach(mail);
    server.received.clear();
    mail.setTO_Address(QStringLiteral("third@example.test"));
    mail.setAction(TMailAction::Send_Mail);
    QVERIFY(finish(rec));
    QVERIFY(rec.errors.isEmpty());
    QCOMPARE(server.messages.size(), 2);
    const QByteArray second = server.messages.at(1);
    QCOMPARE(server.received.count("RCPT TO:"), 1);
    QVERIFY(server.received.contains("RCPT TO:<third@example.test>"));
    QCOMPARE(second.count("To: "), 1);
    QVERIFY(second.contains("To: third@example.test;\r\n"));
    QVERIFY(!second.contains("cc: "));
}

void TestSendMail::keepConnectionOpen()
{
    ScriptedSmtp server;
    SendMail mail;
    MailRecorder rec;
    rec.attach(mail);
    prepare(mail, server.port());
    mail.setKeepConnectionOpen(true);
    mail.setAction(TMailAction::Send_Mail);
    QVERIFY(finish(rec));
    QVERIFY(rec.errors.isEmpty());
    QVERIFY(mail.Connected());
    QVERIFY(!server.received.contains("QUIT"));

    server.received.clear();
    rec = MailRecorder();
    rec.attach(mail);
    mail.setTO_Address(QStringLiteral("again@example.test"));
    mail.setAction(TMailAction::Send_Mail);
    QVERIFY(finish(rec));
    QCOMPARE(rec.done, 1);
    QVERIFY(rec.errors.isEmpty());
    QCOMPARE(server.connections, 1);
    QVERIFY(server.received.startsWith("MAIL FROM:<s@example.test>\r\nRCPT TO:<again@example.test>\r\n"));
    QCOMPARE(server.messages.size(), 2);

    // Cancel while idle lets the kept connection go; the server sees it close.
    mail.setAction(TMailAction::Cancel_SendMail);
    QVERIFY(!mail.Connected());
    QTRY_COMPARE(server.socket()->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(rec.done, 1);
}

void TestSendMail::cancelEndsWithoutErrorReport()
{
    ScriptedSmtp server;
    server.replies["HELO"] = ScriptedSmtp::Silent;
    SendMail mail;
    MailRecorder rec;
    rec.attach(mail);
    prepare(mail, server.port());
    mail.setAction(TMailAction::Send_Mail);
    QTRY_VERIFY(server.received.contains("HELO"));
    mail.setAction(TMailAction::Cancel_SendMail);
    mail.setAction(TMailAction::Cancel_SendMail);
    QVERIFY(mail.Busy()); // until the done notice is handled
    QVERIFY(finish(rec));
    QVERIFY(rec.errors.isEmpty());
    QCOMPARE(rec.done, 1);
    QCOMPARE(mail.LastMailError(), smCanceled);
    QTRY_COMPARE(server.socket()->state(), QAbstractSocket::UnconnectedState);
}

void TestSendMail::connectFailures_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text");

    QTest::newRow("refused") << "127.0.0.1:closed" << int(smConnectionRefused) << "Connection Refused";
    QTest::newRow("no answer to connect") << "127.0.0.1:blackhole" << int(smConnectTimeOut) << "Connection timed out";
    QTest::newRow("0.0.0.0") << "0.0.0.0" << int(smAddressNotAvailable) << "Address not available";
    QTest::newRow("not a dotted address") << "1.2.3.x" << int(smAddressNotAvailable) << "Address not available";
    QTest::newRow("host name too long") << QString(300, 'h') << int(smAddressResolutionError)
                                        << "Address resolution error";
}

void TestSendMail::connectFailures()
{
    QFETCH(QString, server);
    QFETCH(int, error);
    QFETCH(QString, text);

    BlackholeListener blackhole;
    quint16 port = 25;
    if (server.endsWith(":closed")) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    } else if (server.endsWith(":blackhole")) {
        port = blackhole.port();
    }
    server = server.section(':', 0, 0);

    SendMail mail;
    mail.setTimeoutConnect(1);
    MailRecorder rec;
    rec.attach(mail);
    prepare(mail, port);
    mail.setSMTP_Server(server);
    mail.setAction(TMailAction::Send_Mail);
    QVERIFY(finish(rec, 5000));
    QCOMPARE(rec.errors.size(), 1);
    QCOMPARE(int(rec.errors.first().first), error);
    QCOMPARE(rec.errors.first().second, text);
    QCOMPARE(rec.done, 1);
    QCOMPARE(rec.indexOf(smServerConnected), -1);
    QCOMPARE(mail.Socket(), -1);
}

void TestSendMail::hostNameIsResolvedFirst()
{
    ScriptedSmtp server;
    SendMail mail;
    MailRecorder rec;
    rec.attach(mail);
    prepare(mail, server.port());
    mail.setSMTP_Server(QStringLiteral("localhost"));
    mail.setSMTP_Server(QString()); // an empty value leaves the server as it was
    mail.setAction(TMailAction::Send_Mail);
    QVERIFY(finish(rec));
    QVERIFY(rec.errors.isEmpty());
    QCOMPARE(rec.infoTexts(smResolvingAddress), QStringList{"localhost"});
    QCOMPARE(rec.infoTexts(smAddressResolved), QStringList{"127.0.0.1"});
    QVERIFY(rec.indexOf(smResolvingAddress) < rec.indexOf(smAddressResolved));
    QVERIFY(rec.indexOf(smAddressResolved) < rec.indexOf(smServerConnected));
    QCOMPARE(server.messages.size(), 1);
}

void TestSendMail::quitWithoutAnswerOrClose_data()
{
    QTest::addColumn<QByteArray>("quitReply");
    QTest::newRow("answers QUIT, keeps the connection") << QByteArray("221 bye\r\n");
    QTest::newRow("never answers QUIT") << ScriptedSmtp::Silent;
}

void TestSendMail::quitWithoutAnswerOrClose()
{
    // The message was accepted: a server that lingers after QUIT must not
    // turn the delivery into an error, nor keep the sender busy.
    QFETCH(QByteArray, quitReply);
    ScriptedSmtp server;
    server.replies["QUIT"] = quitReply;
    server.closeAfterQuit = false;
    SendMail mail;
    mail.setTimeoutReply(1);
    MailRecorder rec;
    rec.attach(mail);
    prepare(mail, server.port());
    mail.setAction(TMailAction::Send_Mail);
    QVERIFY(finish(rec, 5000));
    QVERIFY(rec.errors.isEmpty());
    QCOMPARE(rec.done, 1);
    QCOMPARE(rec.infoTexts(smMessageAccepted).size(), 1);
    QCOMPARE(mail.LastMailError(), smNone);
    QCOMPARE(mail.Socket(), -1);
}

void TestSendMail::pipelinedRepliesAreHandledInTurn()
{
    // All answers up to DATA arrive in one piece before any command was
    // sent: each is handled in turn, each command written once, in order.
    ScriptedSmtp server;
    server.greeting = {"220 hi\r\n250 hello\r\n250 sender ok\r\n250 rcpt ok\r\n354 go\r\n"};
    for (const char *verb : {"HELO", "MAIL", "RCPT"})
        server.replies[verb] = ScriptedSmtp::Silent;
    server.replies["DATA"] = ScriptedSmtp::Silent; // the server still takes the message that follows
    server.replies["."] = ScriptedSmtp::Silent;
    SendMail mail;
    MailRecorder rec;
    rec.attach(mail);
    prepare(mail, server.port());
    mail.setAction(TMailAction::Send_Mail);
    QTRY_VERIFY(server.received.contains(ExampleMessage));
    QCOMPARE(server.received,
             hostLine() + "MAIL FROM:<s@example.test>\r\nRCPT TO:<r@example.test>\r\nDATA\r\n" + ExampleMessage);
    server.socket()->write("250 queued\r\n");
    QVERIFY(finish(rec));
    QVERIFY(rec.errors.isEmpty());
    QCOMPARE(rec.done, 1);
    QCOMPARE(rec.infoTexts(smTraceIn).size(), 7);
}

void TestSendMail::largeBodyWaitsForTheServer()
{
    // A body far larger than the socket buffers, to a server that stops
    // reading for a while: the sender waits without spinning or blocking
    // the event loop, and every byte arrives in order.
    ScriptedSmtp server;
    server.pauseAfterDataMs = 1500;
    QStringList lines;
    QByteArray wireBody;
    for (int i = 0; i < 120000; ++i) {
        const QString line = QStringLiteral("line %1 ").arg(i, 6, 10, QLatin1Char('0')) + QString(60, 'b');
        lines << line;
        wireBody += line.toLatin1() + "\r\n";
    }
    SendMail mail;
    mail.setTimeoutReply(10);
    MailRecorder rec;
    rec.attach(mail);
    QElapsedTimer sinceStart;
    qint64 lastPieceAt = 0;
    auto inner = mail.OnMailInfo;
    mail.OnMailInfo = [&](SendMail *m, SendMailInfo i, const QString &t) {
        inner(m, i, t);
        if (i == smSendingMessage)
            lastPieceAt = sinceStart.elapsed();
    };
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    prepare(mail, server.port());
    mail.setMailText(lines);
    sinceStart.start();
    mail.setAction(TMailAction::Send_Mail);
    QVERIFY(finish(rec, 60000));
    QVERIFY2(rec.errors.isEmpty(), qPrintable(rec.errors.value(0).second));
    QCOMPARE(server.messages.size(), 1);
    QVERIFY(server.messages.first().endsWith("\r\n\r\n" + wireBody + "\r\n.\r\n"));
    const QStringList progress = rec.infoTexts(smSendingMessage);
    QCOMPARE(rec.infoTexts(smMessageSize), QStringList{QString::number(wireBody.size())});
    QCOMPARE(progress.size(), int((wireBody.size() + 2047) / 2048));
    QCOMPARE(progress.last(), QString::number(wireBody.size()));
    QVERIFY(lastPieceAt >= 1400); // the writes had to wait for the pause to end
    QVERIFY(ticks > 20);
}

void TestSendMail::attachmentsAndFedBody()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.bin"));
    QByteArray content;
    for (int i = 0; i < 2560; ++i)
        content += char(i % 256);
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    ScriptedSmtp server;
    SendMail mail;
    MailRecorder rec;
    rec.attach(mail);
    prepare(mail, server.port());
    mail.setAttachments({path, dir.filePath(QStringLiteral("missing.bin"))});
    int feeds = 0;
    mail.OnFeedData = [&](SendMail *m, QString &data) {
        if (feeds == 0)
            m->setAction(TMailAction::Send_Mail); // refused: the send has begun
        if (feeds++ < 2)
            data = QStringLiteral("fed line\n");
    };
    mail.setAction(TMailAction::Send_Mail);
    QVERIFY(finish(rec));
    QVERIFY(rec.errors.isEmpty());
    QCOMPARE(rec.infoTexts(smAlreadyBusy).size(), 1);
    QCOMPARE(rec.done, 1);
    QCOMPARE(rec.infoTexts(smBadAttachment), QStringList{dir.filePath(QStringLiteral("missing.bin"))});
    QCOMPARE(rec.infoTexts(smAttachmentName), QStringList{path});
    QCOMPARE(rec.infoTexts(smAttachmentSize), QStringList{"2560"});
    QCOMPARE(rec.infoTexts(smAttachmentBytes).last(), QStringLiteral("2560"));

    const QByteArray b = "==============ghyurgtfy573======___";
    const QByteArray msg = server.messages.value(0);
    const QByteArray head = "From:  <s@example.test>\r\nTo: r@example.test;\r\nSubject: Test  \r\nMime-Version: 1.0\r\n"
                            "Content-Type: multipart/mixed; boundary=\"" +
                            b +
                            "\"\r\n\r\n"
                            "--" +
                            b +
                            "\r\nContent-Type: text/plain; charset=\"us-ascii\"\r\n\r\n"
                            "a\r\nb\r\nfed line\r\nfed line\r\n\r\n"
                            "--" +
                            b +
                            "\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
                            "Content-Transfer-Encoding: base64\r\n"
                            "Content-Disposition: attachment; filename=\"data.bin\"\r\n\r\n";
    QVERIFY2(msg.startsWith(head), msg.left(600).constData());
    const QByteArray tail = "\r\n--" + b + "--\r\n.\r\n";
    QVERIFY(msg.endsWith(tail));
    const QByteArray encoded = msg.mid(head.size(), msg.size() - head.size() - tail.size());
    for (const QByteArray &line : encoded.split('\n'))
        QVERIFY(line.size() <= 77);
    QCOMPARE(QByteArray::fromBase64(QByteArray(encoded).replace("\r\n", "")), content);
}

QTEST_GUILESS_MAIN(TestSendMail)
#include "test_sendmail.moc"
