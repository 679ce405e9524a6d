// The alert dispatcher: which actions run, in which order and with which
// arguments, the mail template's placeholders, and mails delivered to a real
// SMTP server, also when alerts come faster than the sender.
#include "alerts/alertprofile.h"
#include "alerts/dispatcher.h"
#include "core/engine.h"
#include "core/formats.h"
#include "mail/inetmail.h"
#include "settings/programoptions.h"
#include "smtppeer.h"
#include "support/recordingdesktop.h"

#include <QRegularExpression>
#include <QTimeZone>
#include <QtTest>

#include <functional>
#include <memory>

namespace
{

const QDateTime FixedTime(QDate(2024, 3, 5), QTime(14, 7, 9));

// Records like the plain recorder and also whether the mail sender was busy
// at each call, which shows where the mail was started among the actions.
// A hook lets a test act from inside the call that shows the box, as other
// handlers could while a desktop call lets events run.
class BusyRecordingDesktop : public RecordingDesktop
{
public:
    SendMail *sender = nullptr;
    std::function<void()> duringMessage;

    void showMessage(const QString &caption, const QString &text, const QString &key = QString(),
                     AlertStyle style = AlertStyle::Box) override
    {
        RecordingDesktop::showMessage(caption, text, key, style);
        mark();
        if (duringMessage) {
            auto hook = std::move(duringMessage);
            duringMessage = nullptr;
            hook();
        }
    }
    void playSound(const QString &file) override
    {
        RecordingDesktop::playSound(file);
        mark();
    }
    void shellOpen(const QString &item) override
    {
        RecordingDesktop::shellOpen(item);
        mark();
    }
    void netSend(const QString &line) override
    {
        RecordingDesktop::netSend(line);
        mark();
    }
    void reboot() override
    {
        RecordingDesktop::reboot();
        mark();
    }

private:
    void mark()
    {
        if (sender)
            calls.last() += sender->Busy() ? QStringLiteral(" [mail busy]") : QStringLiteral(" [mail idle]");
    }
};

// The message as sent after DATA, without the envelope lines the peer adds.
QList<QByteArray> bodyLines(const QByteArray &recorded)
{
    const qsizetype at = recorded.indexOf("\r\n\r\n");
    return recorded.mid(at + 4).split('\n');
}

bool hasLine(const QByteArray &recorded, const QByteArray &line)
{
    for (QByteArray l : bodyLines(recorded)) {
        if (l.endsWith('\r'))
            l.chop(1);
        if (l == line)
            return true;
    }
    return false;
}

QByteArray envelopeRecipient(const QByteArray &recorded)
{
    const qsizetype at = recorded.indexOf("RCPT TO:<");
    return recorded.mid(at + 9, recorded.indexOf('>', at) - at - 9);
}

} // namespace

class TestDispatcher : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void everyDeadActionRunsInOrderAndTheMailArrives();
    void sides_data();
    void sides();
    void profileLookup_data();
    void profileLookup();
    void placeholders_data();
    void placeholders();
    void portText_data();
    void portText();
    void alertTextFromTheEngineHook();

    void boxKeysAndStyles_data();
    void boxKeysAndStyles();
    void placeholdersCarryTheOutcomeTime();
    void everyMailCarriesDateAndMessageId();
    void aLoopInsideTheFirstWriteDelaysNoMail();

    void twoAlertsWhileBusyBothArrive();
    void failedMailsDoNotBlockTheQueue();
    void fullQueueDropsTheOldest();
    void objectRemovedWhileTheBoxIsOpen();

private:
    // One object per caption, all naming the profile "Ops".
    void addObject(const QString &caption, const QString &profileName = QStringLiteral("Ops"),
                   const QString &comment = QString());
    AlertProfile &ops() { return m_opsProfile; }
    // Replaces the profile list with the given profiles.
    void setProfiles(const QList<AlertProfile> &profiles);
    void waitUntilIdle() { QTRY_VERIFY_WITH_TIMEOUT(!m_sender->Busy() && m_dispatcher->queuedMails() == 0, 20000); }

    std::unique_ptr<MonitorEngine> m_engine;
    std::unique_ptr<AlertProfileList> m_profiles;
    std::unique_ptr<ProgramOptions> m_options;
    std::unique_ptr<BusyRecordingDesktop> m_desktop;
    std::unique_ptr<SendMail> m_sender;
    std::unique_ptr<AlertDispatcher> m_dispatcher;
    AlertProfile m_opsProfile;
};

void TestDispatcher::init()
{
    m_engine = std::make_unique<MonitorEngine>();
    m_profiles = std::make_unique<AlertProfileList>();
    m_options = std::make_unique<ProgramOptions>();
    m_options->SmtpServer = QStringLiteral("127.0.0.1");
    m_options->MailFrom = QStringLiteral("sentrova@example.com");
    m_desktop = std::make_unique<BusyRecordingDesktop>();
    m_sender = std::make_unique<SendMail>();
    m_desktop->sender = m_sender.get();
    m_dispatcher = std::make_unique<AlertDispatcher>(*m_engine, *m_profiles, *m_options, *m_desktop, *m_sender,
                                                     [] { return FixedTime; });
    m_opsProfile = AlertProfiles::newProfile(QStringLiteral("Ops"));
}

void TestDispatcher::cleanup()
{
    // Drop waiting mails, then let a send under way end before its sender goes.
    m_dispatcher.reset();
    if (m_sender && m_sender->Busy())
        m_sender->setAction(TMailAction::Cancel_SendMail);
    QTest::qWait(10);
    m_sender.reset();
    m_desktop.reset();
    m_engine.reset();
}

void TestDispatcher::addObject(const QString &caption, const QString &profileName, const QString &comment)
{
    ObserverRecord rec = Records::newRecord(okTcpConnect);
    rec.setTarget(caption);
    rec.IntervalMin = 0; // tested only when the test says so
    rec.AlertProfileName = profileName;
    rec.Comment = comment;
    m_engine->AppendObject(rec, caption);
}

void TestDispatcher::setProfiles(const QList<AlertProfile> &profiles)
{
    m_profiles->clear();
    for (const AlertProfile &p : profiles)
        m_profiles->append(p);
}

void TestDispatcher::everyDeadActionRunsInOrderAndTheMailArrives()
{
    SmtpPeer peer;
    START_SMTP_PEER(peer);
    m_options->SmtpPort = QString::number(peer.port());
    m_options->MailSubject = QStringLiteral("Sentrova alert");

    AlertProfile p = ops();
    for (int a = 0; a < AlertActionCount; ++a)
        p.DeadActions[size_t(a)] = true;
    p.DeadSound = QStringLiteral("/sounds/dead.wav");
    p.DeadProgram = QStringLiteral("/usr/local/bin/on-dead");
    p.DeadMailRecipient = QStringLiteral("oncall@example.com");
    p.DeadNetRecipient = QStringLiteral("deskbox");
    p.AliveSound = QStringLiteral("/sounds/alive.wav"); // the other side's fields stay unused
    setProfiles({p});
    addObject(QStringLiteral("db.example.com"), QStringLiteral("ops"), QStringLiteral("main database"));

    const QString text = QStringLiteral("db.example.com TCP Connect Error");
    m_dispatcher->DispatchAlert(0, text, false);
    QCOMPARE(m_desktop->calls, QStringList({
                                   "message|Dead|" + text + " [mail idle]",
                                   "sound|/sounds/dead.wav [mail idle]",
                                   "open|/usr/local/bin/on-dead [mail idle]",
                                   "net|NET SEND deskbox " + text + " [mail busy]",
                                   "reboot [mail busy]",
                               }));

    QTRY_COMPARE_WITH_TIMEOUT(peer.messages().size(), 1, 10000);
    const QByteArray mail = peer.messages().first();
    QCOMPARE(envelopeRecipient(mail), QByteArray("oncall@example.com"));
    QVERIFY(mail.startsWith("MAIL FROM:<sentrova@example.com>"));
    QVERIFY(hasLine(mail, "Subject: Sentrova alert  "));
    QVERIFY(hasLine(mail, "To: oncall@example.com;"));
    QVERIFY(hasLine(mail, "Host name or IP address : db.example.com"));
    QVERIFY(hasLine(mail, "Status      : " + text.toLatin1()));
    QVERIFY(hasLine(mail, "Date Time: " + Formats::longDateTime(FixedTime).toLatin1()));
    QVERIFY(hasLine(mail, "Test         : TCP Connect"));
    QVERIFY(hasLine(mail, "Comment : main database"));
    QVERIFY(hasLine(mail, "Best Regards"));
    // The live template itself is left as it was.
    QCOMPARE(m_options->MessageTemplate, ProgramOptions::defaultMessageTemplate());
}

void TestDispatcher::sides_data()
{
    QTest::addColumn<QList<int>>("dead");
    QTest::addColumn<QList<int>>("alive");
    QTest::addColumn<bool>("isAlive");
    QTest::addColumn<QStringList>("calls");
    const QString t = QStringLiteral("web1 Ping error");
    QTest::newRow("only Dead message, Dead")
        << QList<int>{aaShowMessage} << QList<int>{} << false << QStringList{"message|Dead|" + t};
    QTest::newRow("only Dead message, Alive") << QList<int>{aaShowMessage} << QList<int>{} << true << QStringList{};
    QTest::newRow("Alive side takes Alive fields")
        << QList<int>{aaPlaySound, aaSendNetMessage} << QList<int>{aaShowMessage, aaPlaySound, aaSendNetMessage} << true
        << QStringList{"message|Alive|" + t, "sound|alive.wav", "net|NET SEND alivebox " + t};
    QTest::newRow("Dead side takes Dead fields") << QList<int>{aaPlaySound, aaExecuteProgram} << QList<int>{aaPlaySound}
                                                 << false << QStringList{"sound|dead.wav", "open|dead-prog"};
    QTest::newRow("empty net recipient still sent") << QList<int>{} << QList<int>{aaSendNetMessage, aaRebootComputer}
                                                    << true << QStringList{"net|NET SEND  " + t, "reboot"};
}

void TestDispatcher::sides()
{
    QFETCH(QList<int>, dead);
    QFETCH(QList<int>, alive);
    QFETCH(bool, isAlive);
    QFETCH(QStringList, calls);
    m_desktop->sender = nullptr;
    AlertProfile p = ops();
    for (int a : dead)
        p.DeadActions[size_t(a)] = true;
    for (int a : alive)
        p.AliveActions[size_t(a)] = true;
    p.DeadSound = QStringLiteral("dead.wav");
    p.AliveSound = QStringLiteral("alive.wav");
    p.DeadProgram = QStringLiteral("dead-prog");
    p.AliveProgram = QStringLiteral("alive-prog");
    p.DeadNetRecipient = QStringLiteral("deadbox");
    if (QTest::currentDataTag() != QByteArray("empty net recipient still sent"))
        p.AliveNetRecipient = QStringLiteral("alivebox");
    setProfiles({p});
    addObject(QStringLiteral("web1"));
    m_dispatcher->DispatchAlert(0, QStringLiteral("web1 Ping error"), isAlive);
    QCOMPARE(m_desktop->calls, calls);
}

void TestDispatcher::profileLookup_data()
{
    QTest::addColumn<QString>("objectProfile");
    QTest::addColumn<QStringList>("profiles");
    QTest::addColumn<QString>("expected"); // the sound of the profile that ran, or empty
    QTest::newRow("other case") << "OPS" << QStringList{"Web", "ops"} << "ops.wav";
    QTest::newRow("first match wins") << "ops" << QStringList{"OPS", "Ops"} << "OPS.wav";
    QTest::newRow("no such profile") << "Gone" << QStringList{"Ops"} << "";
    QTest::newRow("prefix is no match") << "Op" << QStringList{"Ops"} << "";
    QTest::newRow("empty name finds nothing, even an empty profile") << "" << QStringList{"", "Ops"} << "";
}

void TestDispatcher::profileLookup()
{
    QFETCH(QString, objectProfile);
    QFETCH(QStringList, profiles);
    QFETCH(QString, expected);
    m_desktop->sender = nullptr;
    QList<AlertProfile> list;
    for (const QString &name : profiles) {
        AlertProfile p = AlertProfiles::newProfile(name);
        p.DeadActions[aaPlaySound] = true;
        p.DeadSound = name + ".wav";
        list << p;
    }
    setProfiles(list);
    addObject(QStringLiteral("host"), objectProfile);
    m_dispatcher->DispatchAlert(0, QStringLiteral("host down"), false);
    QCOMPARE(m_desktop->calls, expected.isEmpty() ? QStringList() : QStringList{"sound|" + expected});
}

void TestDispatcher::placeholders_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("filled");
    QTest::newRow("template case") << "Host name or IP address : %HostName%"
                                   << "h1"
                                   << "Host name or IP address : h1";
    QTest::newRow("only the first of two") << "%hostname% then %HOSTNAME%"
                                           << "h1"
                                           << "h1 then %HOSTNAME%";
    QTest::newRow("caption holds %STATUS%") << "%HOSTNAME% / %STATUS%"
                                            << "a%STATUS%b"
                                            << "aST-TEXTb / %STATUS%";
    QTest::newRow("inserted text is searched by later placeholders") << "%HOSTNAME%"
                                                                     << "%comment%%TestMethod%"
                                                                     << "COMMENT-TEXTMETHOD-TEXT";
    QTest::newRow("earlier placeholders are not searched again") << "%STATUS% %HOSTNAME%"
                                                                 << "%STATUS%"
                                                                 << "ST-TEXT %STATUS%";
    QTest::newRow("all five") << "%HOSTNAME%|%STATUS%|%DATETIME%|%TESTMETHOD%|%COMMENT%"
                              << "h"
                              << "h|ST-TEXT|DT-TEXT|METHOD-TEXT|COMMENT-TEXT";
    QTest::newRow("only a to z are folded")
        << QStringLiteral("%\u017FTATUS% %HOSTNAM\u00C9%") << "h" << QStringLiteral("%\u017FTATUS% %HOSTNAM\u00C9%");
    QTest::newRow("non-ASCII before keeps positions")
        << QStringLiteral("\u00DF\u00DF%Status%!") << "h" << QStringLiteral("\u00DF\u00DFST-TEXT!");
    QTest::newRow("no placeholder") << "Best Regards"
                                    << "h"
                                    << "Best Regards";
    QTest::newRow("broken placeholder") << "%HOSTNAME %STATUS"
                                        << "h"
                                        << "%HOSTNAME %STATUS";
}

void TestDispatcher::placeholders()
{
    QFETCH(QString, line);
    QFETCH(QString, caption);
    QFETCH(QString, filled);
    AlertDispatcher::Placeholders v;
    v.hostName = caption;
    v.status = QStringLiteral("ST-TEXT");
    v.dateTime = QStringLiteral("DT-TEXT");
    v.testMethod = QStringLiteral("METHOD-TEXT");
    v.comment = QStringLiteral("COMMENT-TEXT");
    QCOMPARE(AlertDispatcher::fillLine(line, v), filled);
}

void TestDispatcher::portText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port");
    QTest::newRow("abc") << "abc" << 25;
    QTest::newRow("2525") << "2525" << 2525;
    QTest::newRow("65561 keeps its low 16 bits") << "65561" << 25;
}

void TestDispatcher::portText()
{
    QFETCH(QString, text);
    QFETCH(int, port);
    m_desktop->sender = nullptr;
    m_sender->setSMTP_Port(1);
    m_options->SmtpPort = text;
    AlertProfile p = ops();
    p.DeadActions[aaSendEMail] = true; // no recipient: the sender refuses without connecting
    setProfiles({p});
    addObject(QStringLiteral("h"));
    m_dispatcher->DispatchAlert(0, QStringLiteral("h down"), false);
    QCOMPARE(int(m_sender->SMTP_Port()), port);
    QCOMPARE(m_sender->LastMailError(), smMailDestinationError);
    QVERIFY(m_desktop->calls.isEmpty()); // a mail failure shows nothing
    waitUntilIdle();
}

void TestDispatcher::alertTextFromTheEngineHook()
{
    m_desktop->sender = nullptr;
    AlertProfile p = ops();
    p.DeadActions[aaShowMessage] = true;
    p.AliveActions[aaShowMessage] = true;
    setProfiles({p});
    m_engine->setAlertSink(m_dispatcher.get());
    addObject(QStringLiteral("10.0.0.9"));
    Outcome fail;
    fail.failMarker = fail.failStatus = QStringLiteral("Ping error");
    fail.alertSuffix = QStringLiteral(" Ping error");
    m_engine->ReportOutcome(0, fail);
    m_engine->ReportOutcome(0, fail); // the same outcome again is no news
    Outcome pass;
    pass.pass = true;
    pass.alertSuffix = QStringLiteral(" Ping OK");
    m_engine->ReportOutcome(0, pass);
    QCOMPARE(m_desktop->calls, QStringList({"message|Dead|10.0.0.9 Ping error", "message|Alive|10.0.0.9 Ping OK"}));
}

void TestDispatcher::boxKeysAndStyles_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("boxes") << int(ProgramOptions::AlertBoxes) << QString();
    QTest::newRow("notifications") << int(ProgramOptions::AlertNotifications) << QStringLiteral("|notification");
    QTest::newRow("both") << int(ProgramOptions::AlertBoth) << QStringLiteral("|both");
}

void TestDispatcher::boxKeysAndStyles()
{
    // Two objects failing at once and one of them again: a box each, the
    // same object's same side keeping its one box; the text as typed.
    QFETCH(int, style);
    QFETCH(QString, suffix);
    m_desktop->sender = nullptr;
    m_options->AlertStyle = style;
    AlertProfile p = ops();
    p.DeadActions[aaShowMessage] = true;
    p.AliveActions[aaShowMessage] = true;
    p.DeadActions[aaPlaySound] = true;
    p.DeadSound = QStringLiteral("dead.wav");
    setProfiles({p});
    addObject(QStringLiteral("a"));
    addObject(QStringLiteral("b"));
    const QString rich = QStringLiteral("http://h/?q=<b>x</b>");
    m_dispatcher->DispatchAlert(0, rich, false);
    m_dispatcher->DispatchAlert(1, QStringLiteral("b down"), false);
    m_dispatcher->DispatchAlert(0, QStringLiteral("a still down"), false);
    m_dispatcher->DispatchAlert(0, QStringLiteral("a up"), true);
    QCOMPARE(m_desktop->calls, QStringList({"message|Dead|" + rich + suffix, "sound|dead.wav",
                                            "message|Dead|b down" + suffix, "sound|dead.wav",
                                            "message|Dead|a still down" + suffix, "sound|dead.wav",
                                            "message|Alive|a up" + suffix}));
    const QStringList &k = m_desktop->messageKeys;
    QCOMPARE(k.size(), 4);
    QCOMPARE(k[0], k[2]);
    QVERIFY(k[0] != k[1]);
    QVERIFY(k[0] != k[3]);
    QVERIFY(!k[0].isEmpty() && !k[1].isEmpty() && !k[3].isEmpty());
}

void TestDispatcher::placeholdersCarryTheOutcomeTime()
{
    // The program's dispatcher has no clock of its own: the time is the
    // outcome's, even when the desktop call takes long (a box shown the old
    // way took until it was closed).
    SmtpPeer peer;
    START_SMTP_PEER(peer);
    m_options->SmtpPort = QString::number(peer.port());
    QDateTime now(QDate(2026, 12, 10), QTime(9, 15, 0));
    m_engine->setClock([&now] { return now; });
    m_dispatcher.reset();
    m_dispatcher = std::make_unique<AlertDispatcher>(*m_engine, *m_profiles, *m_options, *m_desktop, *m_sender);
    m_engine->setAlertSink(m_dispatcher.get());
    AlertProfile p = ops();
    p.DeadActions[aaShowMessage] = true;
    p.DeadActions[aaSendEMail] = true;
    p.DeadMailRecipient = QStringLiteral("ops@example.com");
    setProfiles({p});
    addObject(QStringLiteral("db"));
    const QDateTime outcome = now;
    m_desktop->duringMessage = [&now] { now = now.addSecs(22); };
    Outcome fail;
    fail.failMarker = fail.failStatus = QStringLiteral("TCP Connect Error");
    fail.alertSuffix = QStringLiteral(" TCP Connect Error");
    m_engine->ReportOutcome(0, fail);
    QTRY_COMPARE_WITH_TIMEOUT(peer.messages().size(), 1, 10000);
    const QByteArray mail = peer.messages().first();
    QVERIFY(hasLine(mail, "Date Time: " + Formats::longDateTime(outcome).toUtf8()));
    QVERIFY(hasLine(mail, "Date: " + AlertDispatcher::rfc5322Date(outcome).toLatin1() + "  "));
    waitUntilIdle();
}

void TestDispatcher::everyMailCarriesDateAndMessageId()
{
    const QDateTime when(QDate(2024, 3, 5), QTime(14, 7, 9), QTimeZone(3600));
    QCOMPARE(AlertDispatcher::rfc5322Date(when), QStringLiteral("Tue, 05 Mar 2024 14:07:09 +0100"));
    QCOMPARE(AlertDispatcher::rfc5322Date(QDateTime(QDate(2024, 7, 1), QTime(0, 0), QTimeZone(-(9 * 3600 + 1800)))),
             QStringLiteral("Mon, 01 Jul 2024 00:00:00 -0930"));

    struct Case {
        QString from;
        QString domain;
    };
    const Case cases[] = {{"sentrova@example.com", "example.com"},
                          {"no-domain", "sentrova.invalid"},
                          {"odd@exa mple>.com", "sentrova.invalid"}};
    QStringList ids;
    for (const Case &c : cases) {
        const QStringList h = AlertDispatcher::mailHeaders(when, c.from);
        QCOMPARE(h.size(), 2);
        QCOMPARE(h[0], "Date: " + AlertDispatcher::rfc5322Date(when));
        QVERIFY2(QRegularExpression("^Message-ID: <[0-9a-f]{32}\\.\\d+@" + QRegularExpression::escape(c.domain) + ">$")
                     .match(h[1])
                     .hasMatch(),
                 qPrintable(h[1]));
        ids << h[1];
    }
    ids << AlertDispatcher::mailHeaders(when, cases[0].from)[1];
    QCOMPARE(QSet<QString>(ids.begin(), ids.end()).size(), ids.size());

    // On the wire, after the content type and before the empty line.
    SmtpPeer peer;
    START_SMTP_PEER(peer);
    m_options->SmtpPort = QString::number(peer.port());
    AlertProfile p = ops();
    p.DeadActions[aaSendEMail] = true;
    p.DeadMailRecipient = QStringLiteral("ops@example.com");
    setProfiles({p});
    addObject(QStringLiteral("db"));
    m_dispatcher->DispatchAlert(0, QStringLiteral("db down"), false);
    QTRY_COMPARE_WITH_TIMEOUT(peer.messages().size(), 1, 10000);
    const QByteArray mail = peer.messages().first();
    const QByteArray head = mail.mid(mail.indexOf("\r\n\r\n") + 4);
    const QList<QByteArray> lines = head.left(head.indexOf("\r\n\r\n")).split('\n');
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines[4], QByteArray("Content-Type: text/plain; charset=\"us-ascii\"\r"));
    QCOMPARE(lines[5], "Date: " + AlertDispatcher::rfc5322Date(FixedTime).toLatin1() + "  \r");
    QVERIFY(lines[6].startsWith("Message-ID: <") && lines[6].endsWith("@example.com>  "));
    waitUntilIdle();
}

void TestDispatcher::aLoopInsideTheFirstWriteDelaysNoMail()
{
    // A handler that runs an event loop of its own (a modal box elsewhere in
    // the program) from inside the first mail's write, for longer than the
    // silence bound; two alerts come meanwhile. All three mails arrive
    // whole, each with its own envelope.
    SmtpPeer peer;
    START_SMTP_PEER(peer);
    m_options->SmtpPort = QString::number(peer.port());
    m_sender->setTimeoutReply(1);
    AlertProfile p = ops();
    p.DeadActions[aaSendEMail] = true;
    p.DeadMailRecipient = QStringLiteral("first@example.com");
    p.AliveActions[aaSendEMail] = true;
    p.AliveMailRecipient = QStringLiteral("later@example.com");
    setProfiles({p});
    addObject(QStringLiteral("first-host"));
    addObject(QStringLiteral("second-host"));
    addObject(QStringLiteral("third-host"));

    QStringList errors;
    bool looped = false;
    m_sender->OnMailError = [&errors](SendMail *, SendMailError, const QString &text) { errors << text; };
    m_sender->OnMailInfo = [&](SendMail *, SendMailInfo info, const QString &text) {
        if (looped || info != smTraceOut || !text.startsWith(QLatin1String("MAIL FROM")))
            return;
        looped = true;
        m_dispatcher->DispatchAlert(1, QStringLiteral("second-host up"), true);
        m_dispatcher->DispatchAlert(2, QStringLiteral("third-host up"), true);
        QEventLoop box;
        QTimer::singleShot(2500, &box, &QEventLoop::quit);
        box.exec();
    };
    m_dispatcher->DispatchAlert(0, QStringLiteral("first-host down"), false);
    QTRY_COMPARE_WITH_TIMEOUT(peer.messages().size(), 3, 20000);
    QVERIFY(looped);
    QCOMPARE(errors, QStringList());
    const QList<QByteArray> mails = peer.messages();
    const QByteArray hosts[] = {"first-host", "second-host", "third-host"};
    for (int i = 0; i < 3; ++i) {
        QVERIFY(mails[i].startsWith("MAIL FROM:<sentrova@example.com>\r\nRCPT TO:<" +
                                    QByteArray(i == 0 ? "first" : "later") + "@example.com>\r\n\r\n"));
        QVERIFY(hasLine(mails[i], "Host name or IP address : " + hosts[i]));
        QVERIFY(hasLine(mails[i], "Best Regards"));
    }
    waitUntilIdle();
    m_sender->OnMailInfo = nullptr;
    m_sender->OnMailError = nullptr;
}

void TestDispatcher::twoAlertsWhileBusyBothArrive()
{
    SmtpPeer peer;
    START_SMTP_PEER(peer);
    m_options->SmtpPort = QString::number(peer.port());
    AlertProfile p = ops();
    p.DeadActions[aaSendEMail] = true;
    p.AliveActions[aaSendEMail] = true;
    p.DeadMailRecipient = QStringLiteral("dead@example.com");
    p.AliveMailRecipient = QStringLiteral("alive@example.com");
    setProfiles({p});
    addObject(QStringLiteral("first-host"));
    addObject(QStringLiteral("second-host"));

    m_dispatcher->DispatchAlert(0, QStringLiteral("first-host down"), false);
    QVERIFY(m_sender->Busy());
    m_dispatcher->DispatchAlert(1, QStringLiteral("second-host up"), true);
    QCOMPARE(m_dispatcher->queuedMails(), 1);

    QTRY_COMPARE_WITH_TIMEOUT(peer.messages().size(), 2, 15000);
    const QList<QByteArray> mails = peer.messages();
    QCOMPARE(envelopeRecipient(mails[0]), QByteArray("dead@example.com"));
    QVERIFY(hasLine(mails[0], "Status      : first-host down"));
    QCOMPARE(envelopeRecipient(mails[1]), QByteArray("alive@example.com"));
    QVERIFY(hasLine(mails[1], "Status      : second-host up"));
    QVERIFY(hasLine(mails[1], "Host name or IP address : second-host"));
    waitUntilIdle();
    QCOMPARE(m_dispatcher->droppedMails(), 0);
}

void TestDispatcher::failedMailsDoNotBlockTheQueue()
{
    SmtpPeer peer;
    START_SMTP_PEER(peer);
    quint16 closedPort = 0;
    {
        QTcpServer s;
        QVERIFY(s.listen(QHostAddress::LocalHost, 0));
        closedPort = s.serverPort();
    }
    AlertProfile noRecipient = AlertProfiles::newProfile(QStringLiteral("NoRecipient"));
    noRecipient.DeadActions[aaSendEMail] = true;
    AlertProfile p = ops();
    p.DeadActions[aaSendEMail] = true;
    p.DeadMailRecipient = QStringLiteral("ops@example.com");
    setProfiles({noRecipient, p});
    addObject(QStringLiteral("a"), QStringLiteral("NoRecipient"));
    addObject(QStringLiteral("b"));
    addObject(QStringLiteral("c"));

    // Each mail keeps the options in force when it was composed.
    m_options->SmtpPort = QString::number(closedPort);
    m_dispatcher->DispatchAlert(0, QStringLiteral("a down"), false); // refused: no recipient
    m_dispatcher->DispatchAlert(1, QStringLiteral("b down"), false); // connection refused
    m_options->SmtpPort = QString::number(peer.port());
    m_dispatcher->DispatchAlert(2, QStringLiteral("c down"), false); // delivered
    QCOMPARE(m_dispatcher->queuedMails(), 2);

    QTRY_COMPARE_WITH_TIMEOUT(peer.messages().size(), 1, 15000);
    QVERIFY(hasLine(peer.messages().first(), "Status      : c down"));
    waitUntilIdle();
    QVERIFY(m_desktop->calls.isEmpty());
}

void TestDispatcher::fullQueueDropsTheOldest()
{
    SmtpPeer peer;
    START_SMTP_PEER(peer);
    m_options->SmtpPort = QString::number(peer.port());
    m_options->MessageTemplate = QStringList{"%STATUS%"};
    AlertProfile p = ops();
    p.DeadActions[aaSendEMail] = true;
    p.DeadMailRecipient = QStringLiteral("ops@example.com");
    setProfiles({p});
    addObject(QStringLiteral("h"));

    const int alerts = AlertDispatcher::MailQueueLimit + 2;
    for (int i = 1; i <= alerts; ++i)
        m_dispatcher->DispatchAlert(0, QStringLiteral("alert %1").arg(i), false);
    // The first went to the sender at once; of the rest the oldest waiting
    // one made room for the newest.
    QCOMPARE(m_dispatcher->queuedMails(), AlertDispatcher::MailQueueLimit);
    QCOMPARE(m_dispatcher->droppedMails(), 1);

    QTRY_COMPARE_WITH_TIMEOUT(peer.messages().size(), alerts - 1, 60000);
    QStringList received;
    for (const QByteArray &m : peer.messages())
        for (int i = 1; i <= alerts; ++i)
            if (hasLine(m, QStringLiteral("alert %1").arg(i).toLatin1()))
                received << QString::number(i);
    QStringList expected{"1"};
    for (int i = 3; i <= alerts; ++i)
        expected << QString::number(i);
    QCOMPARE(received, expected);
    waitUntilIdle();
}

void TestDispatcher::objectRemovedWhileTheBoxIsOpen()
{
    SmtpPeer peer;
    START_SMTP_PEER(peer);
    m_options->SmtpPort = QString::number(peer.port());
    AlertProfile p = ops();
    p.DeadActions[aaShowMessage] = true;
    p.DeadActions[aaSendEMail] = true;
    p.DeadMailRecipient = QStringLiteral("ops@example.com");
    setProfiles({p});
    addObject(QStringLiteral("outer-host"), QStringLiteral("Ops"), QStringLiteral("outer comment"));
    addObject(QStringLiteral("inner-host"), QStringLiteral("Ops"), QStringLiteral("inner comment"));

    // While the first box is open, the object is deleted and another
    // object's alert runs to its end, profile deletion included.
    m_desktop->duringMessage = [this] {
        m_engine->RemoveObject(0);
        m_dispatcher->DispatchAlert(0, QStringLiteral("inner-host down"), false);
        m_profiles->remove(0);
    };
    m_dispatcher->DispatchAlert(0, QStringLiteral("outer-host down"), false);
    QCOMPARE(m_desktop->calls,
             QStringList({"message|Dead|outer-host down [mail idle]", "message|Dead|inner-host down [mail idle]"}));

    QTRY_COMPARE_WITH_TIMEOUT(peer.messages().size(), 2, 15000);
    const QList<QByteArray> mails = peer.messages();
    QVERIFY(hasLine(mails[0], "Host name or IP address : inner-host"));
    QVERIFY(hasLine(mails[0], "Comment : inner comment"));
    QVERIFY(hasLine(mails[1], "Host name or IP address : outer-host"));
    QVERIFY(hasLine(mails[1], "Comment : outer comment"));
    waitUntilIdle();
}

QTEST_GUILESS_MAIN(TestDispatcher)
#include "test_dispatcher.moc"
