// The mail socket layer against real loopback peers: notifications and their
// order, the would-block rule, the time-out countdown, resolution and its
// cancel, and the Winsock error numbers it reports.

#include "scriptedsmtp.h"

#include "mail/starsock.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <sys/socket.h>

namespace
{

// Records every notification as "name" or "name:error".
struct Events {
    QStringList log;
    bool connectedInClose = false;
    void attach(TStarSocket &s)
    {
        s.OnSocketConnect = [this, &s] { log << QStringLiteral("connect:%1").arg(s.LastError()); };
        s.OnSocketWrite = [this] { log << QStringLiteral("write"); };
        s.OnSocketRead = [this] { log << QStringLiteral("read"); };
        s.OnSocketClose = [this, &s] {
            connectedInClose = s.Connected();
            log << QStringLiteral("close:%1").arg(s.LastError());
        };
        s.OnSocketTimeout = [this] { log << QStringLiteral("timeout"); };
        s.OnSocketResolved = [this, &s] { log << QStringLiteral("resolved:%1").arg(s.LastError()); };
        s.OnSocketMessage = [this](int msg) { log << QStringLiteral("message:%1").arg(msg); };
    }
};

int startConnect(TStarSocket &s, quint16 port, const QString &address = QStringLiteral("127.0.0.1"))
{
    if (int e = s.CreateSocket())
        return e;
    s.SetAddress(address);
    s.SetPort(port);
    return s.Connect();
}

} // namespace

class TestStarSocket : public QObject
{
    Q_OBJECT

private slots:
    void conversationWithPeer();
    void unreadDataIsNotNotifiedAgain();
    void connectErrors_data();
    void connectErrors();
    void connectTimeout();
    void peerReset();
    void sendWouldBlock();
    void resolveAndCancel();
    void ownerMessagesArePosted();
};

void TestStarSocket::conversationWithPeer()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    TStarSocket sock;
    Events ev;
    ev.attach(sock);
    QCOMPARE(startConnect(sock, server.serverPort()), 0);
    QVERIFY(ev.log.isEmpty()); // never raised from inside the call
    QTRY_VERIFY(ev.log.contains("write"));
    QCOMPARE(ev.log.mid(0, 2), (QStringList{"connect:0", "write"}));
    QVERIFY(sock.Connected());
    QCOMPARE(sock.DottedAddress(), QStringLiteral("127.0.0.1"));

    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket *peer = server.nextPendingConnection();
    peer->write("hello\r\n");
    QTRY_VERIFY(ev.log.contains("read"));
    char buf[64];
    QCOMPARE(sock.Receive(buf, sizeof buf), qint64(7));
    QCOMPARE(QByteArray(buf, 7), QByteArray("hello\r\n"));
    QCOMPARE(sock.Receive(buf, sizeof buf), qint64(0));
    QCOMPARE(sock.LastError(), 0);

    QCOMPARE(sock.Send("ping\r\n", 6), qint64(6));
    QByteArray got;
    QTRY_COMPARE((got += peer->readAll()), QByteArray("ping\r\n"));

    // The peer's close: the handler runs while still connected, then the
    // socket is closed and forgotten.
    ev.log.clear();
    peer->disconnectFromHost();
    QTRY_VERIFY(ev.log.contains("close:0"));
    QVERIFY(ev.connectedInClose);
    QVERIFY(!sock.Connected());
    QCOMPARE(sock.Socket(), -1);
    QTest::qWait(200);
    QCOMPARE(ev.log, QStringList{"close:0"});
}

void TestStarSocket::unreadDataIsNotNotifiedAgain()
{
    // An owner that does not receive gets one read notification, not a
    // stream of them; receiving re-arms it, and data then still waiting is
    // notified again.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    TStarSocket sock;
    Events ev;
    ev.attach(sock);
    QCOMPARE(startConnect(sock, server.serverPort()), 0);
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket *peer = server.nextPendingConnection();
    QTRY_VERIFY(sock.Connected());
    peer->write(QByteArray(100, 'x'));
    QTRY_COMPARE(ev.log.count("read"), 1);
    QTest::qWait(300);
    QCOMPARE(ev.log.count("read"), 1);
    char buf[10];
    QCOMPARE(sock.Receive(buf, sizeof buf), qint64(10));
    QTRY_COMPARE(ev.log.count("read"), 2);
}

void TestStarSocket::connectErrors_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("listening");
    QTest::addColumn<int>("immediate"); // error returned by Connect
    QTest::addColumn<QString>("notified");

    QTest::newRow("refused") << "127.0.0.1" << false << 0 << "connect:10061";
    QTest::newRow("0.0.0.0") << "0.0.0.0" << true << 10049 << "";
    QTest::newRow("not dotted") << "mail.example" << true << 10049 << "";
}

void TestStarSocket::connectErrors()
{
    QFETCH(QString, address);
    QFETCH(bool, listening);
    QFETCH(int, immediate);
    QFETCH(QString, notified);

    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const quint16 port = server.serverPort();
    if (!listening)
        server.close();
    TStarSocket sock;
    Events ev;
    ev.attach(sock);
    QCOMPARE(startConnect(sock, port, address), immediate);
    QCOMPARE(sock.LastError(), immediate);
    if (notified.isEmpty()) {
        QTest::qWait(200);
        QVERIFY(ev.log.isEmpty());
    } else {
        QTRY_COMPARE(ev.log, QStringList{notified});
        QTest::qWait(200);
        QCOMPARE(ev.log, QStringList{notified});
    }
    QVERIFY(!sock.Connected());
}

void TestStarSocket::connectTimeout()
{
    BlackholeListener blackhole;
    TStarSocket sock;
    sock.setTimeoutConnect(2);
    Events ev;
    ev.attach(sock);
    QElapsedTimer t;
    t.start();
    QCOMPARE(startConnect(sock, blackhole.port()), 0);
    QTRY_VERIFY_WITH_TIMEOUT(ev.log.contains("timeout"), 5000);
    QVERIFY(t.elapsed() >= 1500);
    QCOMPARE(sock.Socket(), -1);
    QTest::qWait(1500);
    QCOMPARE(ev.log, QStringList{"timeout"});
}

void TestStarSocket::peerReset()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    TStarSocket sock;
    Events ev;
    ev.attach(sock);
    QCOMPARE(startConnect(sock, server.serverPort()), 0);
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket *peer = server.nextPendingConnection();
    QTRY_VERIFY(sock.Connected());
    linger hard{1, 0};
    ::setsockopt(int(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    peer->abort();
    QTRY_VERIFY(ev.log.contains("close:10054"));
    QCOMPARE(sock.Socket(), -1);
}

void TestStarSocket::sendWouldBlock()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    TStarSocket sock;
    Events ev;
    ev.attach(sock);
    QCOMPARE(startConnect(sock, server.serverPort()), 0);
    QTRY_VERIFY(ev.log.contains("write"));
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket *peer = server.nextPendingConnection();
    peer->setReadBufferSize(1); // takes nothing while we fill the line
    QTest::qWait(50);

    const QByteArray chunk(64 * 1024, 'z');
    qint64 total = 0;
    bool blocked = false;
    for (int i = 0; i < 2000 && !blocked; ++i) {
        const qint64 n = sock.Send(chunk.constData(), chunk.size());
        QCOMPARE(sock.LastError(), 0);
        total += n;
        blocked = n == 0;
    }
    QVERIFY(blocked);
    ev.log.clear();
    QTest::qWait(100);
    QVERIFY(!ev.log.contains("write"));

    // The peer drains: a write notification says the line is free again.
    peer->setReadBufferSize(0);
    qint64 drained = 0;
    QElapsedTimer t;
    t.start();
    while (!ev.log.contains("write") && t.elapsed() < 10000) {
        drained += peer->readAll().size();
        QTest::qWait(10);
    }
    QVERIFY(ev.log.contains("write"));
    QVERIFY(drained > 0 && total > 0);
}

void TestStarSocket::resolveAndCancel()
{
    TStarSocket sock;
    sock.setTimeoutArp(5);
    Events ev;
    ev.attach(sock);
    QCOMPARE(sock.ResolveName(QStringLiteral("localhost")), 0);
    QVERIFY(sock.ResolutionPending());
    QTRY_COMPARE(ev.log, QStringList{"resolved:0"});
    QVERIFY(!sock.ResolutionPending());
    sock.UseResolvedAddress();
    QCOMPARE(sock.DottedAddress(), QStringLiteral("127.0.0.1"));

    // Cancelled: no result arrives, not even from the lookup cache.
    ev.log.clear();
    QCOMPARE(sock.ResolveName(QStringLiteral("localhost")), 0);
    sock.Close();
    QVERIFY(!sock.ResolutionPending());
    QTest::qWait(500);
    QVERIFY(ev.log.isEmpty());

    // A name no resolver could carry is refused at once.
    QCOMPARE(sock.ResolveName(QString(300, 'n')), 11001);
    QVERIFY(!sock.ResolutionPending());
    QTest::qWait(100);
    QVERIFY(ev.log.isEmpty());
}

void TestStarSocket::ownerMessagesArePosted()
{
    TStarSocket sock;
    Events ev;
    ev.attach(sock);
    sock.PostMessage(0x402);
    QVERIFY(ev.log.isEmpty());
    QTRY_COMPARE(ev.log, QStringList{"message:1026"});
}

QTEST_GUILESS_MAIN(TestStarSocket)
#include "test_starsock.moc"
