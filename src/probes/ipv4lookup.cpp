#include "ipv4lookup.h"

#include <QUrl>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace Ipv4Lookup {

bool parseDotted(const QString &host, quint32 *address)
{
    const QByteArray text = host.trimmed().toLatin1();
    in_addr a{};
    if (text.isEmpty() || inet_pton(AF_INET, text.constData(), &a) != 1)
        return false;
    if (address)
        *address = a.s_addr;
    return true;
}

bool isReservedInvalid(const QString &host)
{
    QString h = host.trimmed();
    while (h.endsWith(u'.'))
        h.chop(1);
    return h.compare(QLatin1String("invalid"), Qt::CaseInsensitive) == 0 ||
           h.endsWith(QLatin1String(".invalid"), Qt::CaseInsensitive);
}

bool resolve(const QString &host, quint32 *address)
{
    if (parseDotted(host, address))
        return true;
    const QString name = host.trimmed();
    if (name.isEmpty() || isReservedInvalid(name))
        return false;
    // The same form of the name that Qt's own lookups use: international
    // names in their ASCII form; a text that is no valid host name fails
    // here without a query.
    const QByteArray ace = QUrl::toAce(name);
    if (ace.isEmpty())
        return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    if (getaddrinfo(ace.constData(), nullptr, &hints, &list) != 0 || !list)
        return false;
    bool found = false;
    for (addrinfo *ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET && ai->ai_addr) {
            if (address)
                *address = reinterpret_cast<const sockaddr_in *>(ai->ai_addr)->sin_addr.s_addr;
            found = true;
            break;
        }
    }
    freeaddrinfo(list);
    return found;
}

QString dottedText(quint32 address)
{
    char buf[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = address;
    inet_ntop(AF_INET, &a, buf, sizeof buf);
    return QString::fromLatin1(buf);
}

} // namespace Ipv4Lookup
