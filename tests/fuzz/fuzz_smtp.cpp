// The mail sender's reading of SMTP replies. The reply parser is internal
// to SendMail, so the smallest public entry point is a whole send: a
// loopback server writes the input as its replies, ends its side and waits
// for the sender to close. Every send must end exactly once, by itself.
#include "fuzzsupport.h"

#include "mail/inetmail.h"

#include <QEventLoop>
#include <QTimer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::ensureApplication();
    static Fuzz::LoopbackPeer peer(false);
    peer.setReply(data, size);

    SendMail mail;
    int done = 0;
    QEventLoop loop;
    mail.OnDone = [&](SendMail *) {
        ++done;
        loop.quit();
    };
    mail.setSMTP_Server(QStringLiteral("127.0.0.1"));
    mail.setSMTP_Port(peer.port());
    mail.setFROM_Address(QStringLiteral("sentrova@example.com"));
    mail.setTO_Address(QStringLiteral("ops@example.com"));
    mail.setSubject(QStringLiteral("Dead"));
    mail.setMailText(QStringList{QStringLiteral("Host name or IP address : 127.0.0.1"), QStringLiteral(".")});
    mail.setTimeoutReply(5);
    mail.setAction(TMailAction::Send_Mail);
    bool hung = false;
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, &loop, [&] {
        hung = true;
        loop.quit();
    });
    bound.start(15000);
    if (done == 0)
        loop.exec();
    FUZZ_CHECK(!hung);
    FUZZ_CHECK(!mail.Busy());
    // A second OnDone would be posted; let it run, then count.
    QCoreApplication::processEvents();
    FUZZ_CHECK(done == 1);
    return 0;
}
