#include "icmp.h"

#include "ipv4lookup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/icmp.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>

namespace {

// Plain ASCII, the same for every ping.
const char kPayloadText[] = "Velmora Sentrova echo request: are you alive?";
static_assert(sizeof(kPayloadText) - 1 == TICMP::PayloadTextLength);

constexpr quint8 kEchoReply = 0;
constexpr quint8 kEchoRequest = 8;
constexpr quint8 kEchoReply6 = 129;
constexpr quint8 kEchoRequest6 = 128;
constexpr int kIcmpHeader = 8;

std::atomic<quint16> g_instances{0};

quint16 get16(const uchar *p) { return quint16((p[0] << 8) | p[1]); }

} // namespace

TICMP::TICMP(SocketKind kind) : m_kind(kind)
{
    // The raw socket sees every ICMP packet of the host: our identifier keeps
    // this object's replies apart from other programs' and other instances'.
    m_identifier = quint16((::getpid() + 0x9E37 * g_instances.fetch_add(1)) & 0xFFFF);
    openSocket();
}

TICMP::~TICMP() { closeSocket(); }

bool TICMP::openSocket()
{
    QStringList errors;
    if (m_kind == skAuto || m_kind == skDatagram) {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (m_fd >= 0) {
            m_openKind = skDatagram;
            m_openError.clear();
            return true;
        }
        errors << QStringLiteral("ICMP datagram socket: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (m_kind == skAuto || m_kind == skRaw) {
        m_fd = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (m_fd >= 0) {
            m_openKind = skRaw;
            m_openError.clear();
            // Let only echo replies through, where the system supports the
            // filter; the checks on every packet stay in any case.
            icmp_filter filter{};
            filter.data = ~(1u << ICMP_ECHOREPLY);
            ::setsockopt(m_fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
            return true;
        }
        errors << QStringLiteral("raw ICMP socket: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    m_openKind = skAuto;
    m_openError = errors.join(QStringLiteral("; "));
    return false;
}

bool TICMP::openSocket6()
{
    if (m_fd6 >= 0)
        return true;
    if (m_kind == skAuto || m_kind == skDatagram) {
        m_fd6 = ::socket(AF_INET6, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMPV6);
        if (m_fd6 >= 0) {
            m_openKind6 = skDatagram;
            return true;
        }
    }
    if (m_kind == skAuto || m_kind == skRaw) {
        m_fd6 = ::socket(AF_INET6, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMPV6);
        if (m_fd6 >= 0) {
            m_openKind6 = skRaw;
            // The system computes the ICMPv6 checksum itself; let only echo
            // replies through.
            icmp6_filter filter;
            ICMP6_FILTER_SETBLOCKALL(&filter);
            ICMP6_FILTER_SETPASS(ICMP6_ECHO_REPLY, &filter);
            ::setsockopt(m_fd6, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
            return true;
        }
    }
    m_openKind6 = skAuto;
    return false;
}

void TICMP::closeSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (m_fd6 >= 0)
        ::close(m_fd6);
    m_fd6 = -1;
}

int TICMP::sentTtl() const
{
    int value = -1;
    socklen_t len = sizeof value;
    if (m_isV6) {
        if (m_fd6 < 0 || ::getsockopt(m_fd6, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &value, &len) != 0)
            return -1;
    } else if (m_fd < 0 || ::getsockopt(m_fd, IPPROTO_IP, IP_TTL, &value, &len) != 0) {
        return -1;
    }
    return value;
}

bool TICMP::reopen()
{
    closeSocket();
    return openSocket();
}

QString TICMP::unavailableMessage()
{
    const QString program = QCoreApplication::instance() ? QCoreApplication::applicationFilePath()
                                                         : QStringLiteral("<program>");
    return QStringLiteral("Ping is not available: the system does not allow this program to send ICMP echo "
                          "requests, so every Ping test reports \"Ping error\".\n\n"
                          "To allow ping, do one of these:\n"
                          "- widen the groups allowed to ping: sysctl -w net.ipv4.ping_group_range=\"0 2147483647\" "
                          "(as root; put it into /etc/sysctl.d/ to keep it);\n"
                          "- give the program the capability: setcap cap_net_raw+ep %1 "
                          "(as root; a rebuilt or copied program loses it);\n"
                          "- run the program as root.\n\n"
                          "Then start the program again.")
        .arg(program);
}

void TICMP::setAddress(const QString &address)
{
    if (address != m_address)
        m_resolved = false;
    m_address = address;
}

void TICMP::display(const QString &text)
{
    if (OnDisplay)
        OnDisplay(this, text);
}

bool TICMP::resolveAddress()
{
    m_resolved = true;
    m_hostName = m_address;
    m_isV6 = false;
    quint32 a = 0;
    if (Ipv4Lookup::resolve(m_address, &a)) {
        m_hostAddress = a;
        m_hostIP = Ipv4Lookup::dottedText(a);
        return true;
    }
    QHostAddress v6;
    if (v6.setAddress(m_address.trimmed()) && v6.protocol() == QAbstractSocket::IPv6Protocol) {
        const Q_IPV6ADDR bytes = v6.toIPv6Address();
        std::memcpy(m_host6, bytes.c, sizeof m_host6);
        m_isV6 = true;
        m_hostAddress = 0;
        m_hostIP = v6.toString();
        return true;
    }
    m_hostAddress = 0xFFFFFFFFu;
    m_hostIP.clear();
    m_lastError = 11001; // host not found
    display(QStringLiteral("Unable to resolve ") + m_address);
    return false;
}

QByteArray TICMP::buildPayload(int size)
{
    if (size <= 0)
        return QByteArray();
    QByteArray payload(size, ' ');
    std::memcpy(payload.data(), kPayloadText, size_t(qMin(size, PayloadTextLength)));
    return payload;
}

quint16 TICMP::checksum(const QByteArray &data)
{
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    const qsizetype n = data.size();
    quint32 sum = 0;
    qsizetype i = 0;
    for (; i + 1 < n; i += 2)
        sum += get16(p + i);
    if (i < n)
        sum += quint32(p[i]) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return quint16(~sum & 0xFFFF);
}

QByteArray TICMP::buildEchoRequest(quint16 identifier, quint16 sequence, const QByteArray &payload, bool v6)
{
    QByteArray packet(kIcmpHeader, '\0');
    packet[0] = char(v6 ? kEchoRequest6 : kEchoRequest);
    packet[1] = 0;
    packet[4] = char(identifier >> 8);
    packet[5] = char(identifier & 0xFF);
    packet[6] = char(sequence >> 8);
    packet[7] = char(sequence & 0xFF);
    packet += payload;
    if (v6)
        return packet; // the ICMPv6 checksum covers the IPv6 addresses: the system fills it in
    const quint16 sum = checksum(packet);
    packet[2] = char(sum >> 8);
    packet[3] = char(sum & 0xFF);
    return packet;
}

void TICMP::applySocketOptions()
{
    // Time to live: its low byte. 0 is no valid TTL: the system's default
    // (-1) goes out then, not the TTL an earlier ping left on the socket.
    const int ttl = (m_ttl & 0xFF) ? (m_ttl & 0xFF) : -1;
    if (m_isV6) {
        ::setsockopt(m_fd6, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &ttl, sizeof ttl);
        const int pmtu = (m_flags & 0x02) ? IPV6_PMTUDISC_DO : IPV6_PMTUDISC_DONT;
        ::setsockopt(m_fd6, IPPROTO_IPV6, IPV6_MTU_DISCOVER, &pmtu, sizeof pmtu);
        return;
    }
    ::setsockopt(m_fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
    const int tos = 0;
    ::setsockopt(m_fd, IPPROTO_IP, IP_TOS, &tos, sizeof tos);
    // Flag 2 is "don't fragment".
    const int pmtu = (m_flags & 0x02) ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT;
    ::setsockopt(m_fd, IPPROTO_IP, IP_MTU_DISCOVER, &pmtu, sizeof pmtu);
}

// Forgets what arrived on the socket since the last ping: late replies and,
// on a raw socket, other programs' ICMP traffic.
static void drainSocket(int fd)
{
    char scratch[2048];
    for (int i = 0; i < 4096 && ::recv(fd, scratch, sizeof scratch, MSG_DONTWAIT) >= 0; ++i) {
    }
}

int TICMP::sendAndAwait(int fd, const sockaddr *to, socklen_t toLength, const QByteArray &packet,
                        const ReplyFilter &accept)
{
    QElapsedTimer clock;
    clock.start();
    ssize_t sent;
    do {
        sent = ::sendto(fd, packet.constData(), size_t(packet.size()), 0, to, toLength);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) {
        m_lastError = IpGeneralFailure;
        m_reply.Status = IpGeneralFailure;
        return 0;
    }

    const qint64 timeout = qMax(0, m_timeout);
    QByteArray buffer(65536 + 64, Qt::Uninitialized);
    for (;;) {
        const qint64 remaining = timeout - clock.elapsed();
        if (remaining < 0)
            break;
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, int(remaining));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        sockaddr_storage from{};
        socklen_t fromLen = sizeof from;
        const ssize_t got = ::recvfrom(fd, buffer.data(), size_t(buffer.size()), 0,
                                       reinterpret_cast<sockaddr *>(&from), &fromLen);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            break;
        }
        if (!accept(reinterpret_cast<const uchar *>(buffer.constData()), got, from))
            continue;
        m_reply.Status = IpSuccess;
        m_reply.RoundTripTime = quint32(clock.elapsed());
        m_reply.DataSize = quint16(qMin<qsizetype>(m_replyData.size(), 0xFFFF));
        return 1;
    }
    m_lastError = IpReqTimedOut;
    m_reply.Status = IpReqTimedOut;
    return 0;
}

int TICMP::exchange(const QByteArray &payload)
{
    applySocketOptions();
    drainSocket(m_fd);

    const quint16 sequence = ++m_sequence;
    // A datagram socket puts its own identifier into the request and hands
    // us only the replies to it.
    const QByteArray packet = buildEchoRequest(m_identifier, sequence, payload);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = m_hostAddress;

    return sendAndAwait(m_fd, reinterpret_cast<const sockaddr *>(&to), sizeof to, packet,
                        [&](const uchar *p, qsizetype len, const sockaddr_storage &source) {
        quint8 replyTtl = 0;
        if (m_openKind == skRaw) {
            // A raw socket hands over the IP header too.
            if (len < 20 || (p[0] >> 4) != 4)
                return false;
            const int ihl = (p[0] & 0x0F) * 4;
            if (ihl < 20 || len < ihl + kIcmpHeader)
                return false;
            replyTtl = p[8];
            p += ihl;
            len -= ihl;
        } else if (len < kIcmpHeader) {
            return false;
        }
        if (p[0] != kEchoReply || p[1] != 0 || get16(p + 6) != sequence)
            return false;
        if (m_openKind == skRaw) {
            if (get16(p + 4) != m_identifier)
                return false;
            if (checksum(QByteArray::fromRawData(reinterpret_cast<const char *>(p), len)) != 0)
                return false;
        }
        const auto &from = reinterpret_cast<const sockaddr_in &>(source);
        if (m_hostAddress != INADDR_ANY && from.sin_addr.s_addr != m_hostAddress)
            return false;
        m_replyData = QByteArray(reinterpret_cast<const char *>(p + kIcmpHeader), len - kIcmpHeader);
        m_reply.Address = from.sin_addr.s_addr;
        m_reply.Ttl = replyTtl;
        return true;
    });
}

int TICMP::exchange6(const QByteArray &payload)
{
    applySocketOptions();
    drainSocket(m_fd6);
    const quint16 sequence = ++m_sequence;
    const QByteArray packet = buildEchoRequest(m_identifier, sequence, payload, true);
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    std::memcpy(&to.sin6_addr, m_host6, sizeof m_host6);

    return sendAndAwait(m_fd6, reinterpret_cast<const sockaddr *>(&to), sizeof to, packet,
                        [&](const uchar *p, qsizetype len, const sockaddr_storage &source) {
        // Neither socket kind hands over the IPv6 header.
        if (len < kIcmpHeader || p[0] != kEchoReply6 || p[1] != 0 || get16(p + 6) != sequence)
            return false;
        if (m_openKind6 == skRaw && get16(p + 4) != m_identifier)
            return false;
        const auto &from = reinterpret_cast<const sockaddr_in6 &>(source);
        if (std::memcmp(&from.sin6_addr, m_host6, sizeof m_host6) != 0)
            return false;
        m_replyData = QByteArray(reinterpret_cast<const char *>(p + kIcmpHeader), len - kIcmpHeader);
        m_reply.Address = 0;
        return true;
    });
}

int TICMP::Ping()
{
    m_lastError = 0;
    m_reply = TIcmpEchoReply{};
    m_replyData.clear();

    if (!m_resolved)
        resolveAddress();
    if (!m_isV6 && m_hostAddress == 0xFFFFFFFFu) {
        m_lastError = IpBadDestination;
        display(QStringLiteral("Invalid host address"));
        return 0;
    }

    const QByteArray payload = buildPayload(qBound(0, m_size, MaxSize));
    if (OnEchoRequest)
        OnEchoRequest(this);

    int received = 0;
    if (m_size < 0 || m_size > MaxSize) {
        // No echo request can carry such a payload.
        m_lastError = IpGeneralFailure;
        m_reply.Status = IpGeneralFailure;
    } else if (m_isV6) {
        if (openSocket6()) {
            received = exchange6(payload);
        } else {
            m_lastError = IpGeneralFailure;
            m_reply.Status = IpGeneralFailure;
        }
    } else if (!isOpen() && !reopen()) {
        m_lastError = IpGeneralFailure;
        m_reply.Status = IpGeneralFailure;
    } else {
        received = exchange(payload);
    }

    if (OnEchoReply) {
        try {
            OnEchoReply(this, received);
        } catch (...) {
            // The reply handler's failures stay inside the component.
        }
    }
    return received;
}
