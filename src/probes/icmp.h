#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>

#include <sys/socket.h>

// The header of the last echo reply, in the shape of the echo reply record
// that callers of an echo service expect (28 bytes on the wire of old).
struct TIcmpEchoReply {
    quint32 Address = 0;       // replying host, network byte order
    quint32 Status = 0;        // 0 success, otherwise one of the TICMP status codes
    quint32 RoundTripTime = 0; // milliseconds
    quint16 DataSize = 0;      // echoed payload bytes
    quint16 Reserved = 0;
    quint8 Ttl = 0; // time to live of the reply packet, when known
    quint8 Tos = 0;
    quint8 Flags = 0;
    quint8 OptionsSize = 0;
};

// Sends ICMP echo requests and waits for the reply, blocking up to Timeout.
// An IPv6 address (literal text) goes out as an ICMPv6 echo request over a
// second socket of the same kind, opened at the first IPv6 ping.
//
// It opens an unprivileged ICMP datagram socket where the system allows it
// (net.ipv4.ping_group_range covers the user's group), else a raw ICMP socket
// (root, or a binary with the cap_net_raw capability). Where neither opens,
// the object still works: every echo fails, and isOpen() / unavailableMessage()
// say why, so that the program can tell the user once.
class TICMP
{
public:
    enum SocketKind {
        skAuto,     // datagram first, raw second
        skDatagram, // only the unprivileged datagram socket
        skRaw,      // only the raw socket
    };

    // Status and error codes, as the echo service numbers them.
    static constexpr quint32 IpSuccess = 0;
    static constexpr quint32 IpReqTimedOut = 11010;
    static constexpr quint32 IpBadDestination = 11018;
    static constexpr quint32 IpGeneralFailure = 11050;

    static constexpr int PayloadTextLength = 45;
    // Largest payload an IPv4 echo request can carry.
    static constexpr int MaxSize = 65507;

    explicit TICMP(SocketKind kind = skAuto);
    ~TICMP();
    TICMP(const TICMP &) = delete;
    TICMP &operator=(const TICMP &) = delete;

    // Whether an ICMP socket (for IPv4) is open, which kind, and why not.
    bool isOpen() const { return m_fd >= 0; }
    SocketKind openKind() const { return m_openKind; }
    QString openError() const { return m_openError; }
    // Tries to open the socket again (after the user allowed ping).
    bool reopen();
    // How to allow ping on this system, for the one notice of the main window.
    static QString unavailableMessage();

    QString Address() const { return m_address; }
    void setAddress(const QString &address);
    int Size() const { return m_size; }
    void setSize(int size) { m_size = size; }
    int Timeout() const { return m_timeout; }
    void setTimeout(int ms) { m_timeout = ms; }
    int TTL() const { return m_ttl; }
    void setTTL(int ttl) { m_ttl = ttl; }
    int Flags() const { return m_flags; }
    void setFlags(int flags) { m_flags = flags; }

    // The last resolution of Address: name and dotted text; the address in
    // network byte order (all ones when none, 0 for an IPv6 address).
    QString HostName() const { return m_hostName; }
    QString HostIP() const { return m_hostIP; }
    quint32 HostAddress() const { return m_hostAddress; }
    bool isIPv6() const { return m_isV6; }
    // The hop limit (TTL) and the kind of the socket the last echo went out
    // on, read back from the socket: what the system puts on the wire.
    int sentTtl() const;
    SocketKind sentKind() const { return m_isV6 ? m_openKind6 : m_openKind; }

    // Sends one echo request to Address, waits up to Timeout milliseconds and
    // returns the number of echo replies received (0 or 1). Raises
    // OnEchoRequest before sending and OnEchoReply with the count after;
    // an exception thrown by OnEchoReply is dropped here. An address that does
    // not resolve, or the all-ones address, only goes to OnDisplay and returns
    // 0 without OnEchoReply.
    int Ping();

    quint32 LastError() const { return m_lastError; }
    const TIcmpEchoReply &Reply() const { return m_reply; }
    // The payload the last reply carried back.
    QByteArray ReplyData() const { return m_replyData; }
    // Identifier and sequence number of the last request (a datagram socket
    // replaces the identifier with its own).
    quint16 Identifier() const { return m_identifier; }
    quint16 Sequence() const { return m_sequence; }

    // Building blocks of the request, public for the tests.
    // The payload: the fixed 45-character text cut to size, or padded with
    // blanks up to size; empty for size 0 or less.
    static QByteArray buildPayload(int size);
    // Internet checksum (one's complement of the one's complement sum).
    static quint16 checksum(const QByteArray &data);
    // An echo request (type 8, or 128 for ICMPv6), code 0, checksum, identifier and sequence in
    // network byte order, then the payload.
    static QByteArray buildEchoRequest(quint16 identifier, quint16 sequence, const QByteArray &payload,
                                       bool v6 = false);

    std::function<void(TICMP *icmp, const QString &text)> OnDisplay;
    std::function<void(TICMP *icmp)> OnEchoRequest;
    std::function<void(TICMP *icmp, int received)> OnEchoReply;

private:
    bool openSocket();
    bool openSocket6();
    void closeSocket();
    bool resolveAddress();
    void display(const QString &text);
    int exchange(const QByteArray &payload);
    int exchange6(const QByteArray &payload);
    // Takes a received datagram (from its sender) as the reply, filling the
    // reply's data and address, or passes it over.
    using ReplyFilter = std::function<bool(const uchar *data, qsizetype length, const sockaddr_storage &from)>;
    // Sends the echo request to `to` and waits up to Timeout for the
    // datagram that `accept` takes; the number of replies (0 or 1).
    int sendAndAwait(int fd, const sockaddr *to, socklen_t toLength, const QByteArray &packet,
                     const ReplyFilter &accept);
    void applySocketOptions();

    SocketKind m_kind;
    SocketKind m_openKind = skAuto;
    int m_fd = -1;
    QString m_openError;
    SocketKind m_openKind6 = skAuto;
    int m_fd6 = -1;

    QString m_address;
    bool m_resolved = false;
    quint32 m_hostAddress = 0xFFFFFFFFu;
    bool m_isV6 = false;
    quint8 m_host6[16] = {};
    QString m_hostName;
    QString m_hostIP;

    int m_size = 56;
    int m_timeout = 4000;
    int m_ttl = 64;
    int m_flags = 0;

    quint16 m_identifier = 0;
    quint16 m_sequence = 0;
    quint32 m_lastError = 0;
    TIcmpEchoReply m_reply;
    QByteArray m_replyData;
};
