#include "hostlookup.h"

#include <QMetaObject>
#include <QUrl>

#include <netdb.h>
#include <sys/socket.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace
{

// What the helper thread and the context object share. The guard below
// clears `receiver` under the mutex while the context object is being
// destroyed, so the helper thread posts only to a live object.
struct Mailbox {
    std::mutex mutex;
    QObject *receiver = nullptr;
};

class Guard : public QObject
{
public:
    Guard(QObject *parent, std::shared_ptr<Mailbox> box) : QObject(parent), m_box(std::move(box))
    {
        m_box->receiver = this;
    }
    ~Guard() override
    {
        std::lock_guard<std::mutex> lock(m_box->mutex);
        m_box->receiver = nullptr;
    }

private:
    std::shared_ptr<Mailbox> m_box;
};

} // namespace

namespace HostLookup
{

void start(const QString &name, QObject *context, Done done)
{
    auto box = std::make_shared<Mailbox>();
    auto *guard = new Guard(context, box);
    const QByteArray host = QUrl::toAce(name.trimmed());
    if (host.isEmpty() || host.contains('\0')) {
        QMetaObject::invokeMethod(
            guard,
            [guard, done] {
                guard->deleteLater();
                done(NotFound, {});
            },
            Qt::QueuedConnection);
        return;
    }
    std::thread([box, guard, host, done] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_ADDRCONFIG;
        addrinfo *list = nullptr;
        int status = ::getaddrinfo(host.constData(), nullptr, &hints, &list);
        if (status == EAI_NONAME || status == EAI_FAMILY || status == EAI_ADDRFAMILY) {
            // AI_ADDRCONFIG hides every address on a host whose only
            // interface is loopback: ask once more without it.
            hints.ai_flags = 0;
            status = ::getaddrinfo(host.constData(), nullptr, &hints, &list);
        }
        QList<QHostAddress> found;
        for (addrinfo *a = status == 0 ? list : nullptr; a; a = a->ai_next) {
            const QHostAddress addr(a->ai_addr);
            if (!addr.isNull() && !found.contains(addr))
                found << addr;
        }
        if (list)
            ::freeaddrinfo(list);
        Error error = NoError;
        if (status == EAI_AGAIN)
            error = TryAgain;
        else if (status == EAI_NONAME || status == EAI_NODATA || status == EAI_ADDRFAMILY || status == EAI_FAMILY)
            error = NotFound;
        else if (status != 0)
            error = Failed;
        else if (found.isEmpty())
            error = NotFound;

        std::lock_guard<std::mutex> lock(box->mutex);
        if (!box->receiver)
            return; // cancelled
        QMetaObject::invokeMethod(
            box->receiver,
            [guard, done, error, found] {
                guard->deleteLater();
                done(error, found);
            },
            Qt::QueuedConnection);
    }).detach();
}

QString errorText(Error error)
{
    switch (error) {
    case NoError:
        return QString();
    case NotFound:
        return QStringLiteral("name not found");
    case TryAgain:
        return QStringLiteral("name server did not answer");
    case Failed:
        break;
    }
    return QStringLiteral("name lookup failed");
}

} // namespace HostLookup
