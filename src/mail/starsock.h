#pragma once

// TStarSocket: one asynchronous TCP client connection (IPv4 or IPv6) for the
// mail sender. A non-blocking socket watched by QSocketNotifier, name
// resolution through QHostInfo, a one-second time-out countdown, and TLS on
// the same connection when asked (StartTls hands the connected socket to a
// QSslSocket; the calls and notifications stay the same). Every notification is
// delivered on the thread that owns the object (the GUI thread) from its
// event loop; none is ever delivered from inside a call of this class.
//
// Errors are Winsock error numbers (10035 would-block, 10061 refused, ...),
// so that the sender's error table reads the same on every platform.
//
// Notifications, in the order they are raised:
//   resolution done  the countdown is stopped, the resolved address stored,
//                    then ResolvedEvent()
//   connect          the connect finished (LastError() says how); on success
//                    Connected() is true before ConnectEvent() runs
//   read             data can be received (raised again while data remains
//                    after the handler returned)
//   write            after the connect and after a send that would block
//   close            the peer closed or reset the connection: CloseEvent()
//                    runs, then the socket is closed if it was connected
//   time-out         the countdown reached 0: the socket is closed, then
//                    TimeoutEvent()
//   TLS ready        the TLS handshake StartTls began has succeeded:
//                    TlsReadyEvent()
//   TLS failed       the handshake failed or the certificate was refused:
//                    TlsFailedEvent(reason), the socket already closed
// Every socket notification and the resolution result stop the countdown
// first, so TimeoutConnect covers only the wait for the connect and
// TimeoutArp only the wait for the resolution.

#include <QHash>
#include <QHostAddress>
#include <QSslConfiguration>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QString>
#include <QTimer>

#include <functional>

class QSocketNotifier;
class QSslSocket;

namespace Winsock
{
enum : int {
    WSAEINTR = 10004,
    WSAEACCES = 10013,
    WSAEFAULT = 10014,
    WSAEINVAL = 10022,
    WSAEMFILE = 10024,
    WSAEWOULDBLOCK = 10035,
    WSAEINPROGRESS = 10036,
    WSAEALREADY = 10037,
    WSAENOTSOCK = 10038,
    WSAEMSGSIZE = 10040,
    WSAEOPNOTSUPP = 10045,
    WSAEAFNOSUPPORT = 10047,
    WSAEADDRINUSE = 10048,
    WSAEADDRNOTAVAIL = 10049,
    WSAENETDOWN = 10050,
    WSAENETUNREACH = 10051,
    WSAENETRESET = 10052,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAENOBUFS = 10055,
    WSAEISCONN = 10056,
    WSAENOTCONN = 10057,
    WSAESHUTDOWN = 10058,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSAEHOSTUNREACH = 10065,
    WSANOTINITIALISED = 10093,
    WSAHOST_NOT_FOUND = 11001,
    WSATRY_AGAIN = 11002,
    WSANO_RECOVERY = 11003,
    WSANO_DATA = 11004,
    // Stands for any POSIX error without a Winsock counterpart.
    WSAUNKNOWN = 10999
};

// Maps a POSIX errno value to the Winsock number of the same condition.
int fromErrno(int error);
} // namespace Winsock

class TStarSocket : public QObject
{
    Q_OBJECT

public:
    // Host names longer than this are refused by ResolveName (the longest
    // name DNS can carry).
    static constexpr int MaxHostName = 253;
    // First message number that is the owner's own (PostMessage).
    static constexpr int FirstOwnerMessage = 0x402;

    explicit TStarSocket(QObject *parent = nullptr);
    ~TStarSocket() override;

    // The socket library: nothing to load here, kept so the sender reads the
    // same everywhere. StartLibrary returns whether it is started.
    bool StartLibrary();
    bool LibraryStarted() const { return m_started; }
    void StopLibrary();

    // Creates the socket when there is none; returns the last error (0 = ok).
    int CreateSocket();
    // A dotted IPv4 text (anything inet_aton takes) or an IPv6 address (in
    // brackets or without); an invalid text gives 255.255.255.255, which
    // Connect refuses with 10049.
    void SetAddress(const QString &dotted);
    // True when the text is an IPv6 address, in brackets or without.
    static bool isIPv6Literal(const QString &text);
    void SetPort(quint16 port) { m_port = port; }
    quint16 Port() const { return m_port; }
    // Starts resolving a host name unless one is pending; starts the
    // countdown with TimeoutArp. Returns the last error (0 = started).
    int ResolveName(const QString &hostName);
    bool ResolutionPending() const { return m_lookupContext != nullptr; }
    void UseResolvedAddress()
    {
        m_address = m_resolved;
        m_address6 = m_resolved6;
    }
    // Starts a non-blocking connect to Address():Port() and the countdown
    // with TimeoutConnect. Returns the last error (0 = under way).
    int Connect();
    // Writes up to n bytes; returns how many were taken. 0 with LastError()
    // 0: the connection cannot take data now, retry later.
    qint64 Send(const char *data, qint64 n);
    // Reads up to n bytes; 0 when nothing is available, the peer has closed,
    // or on error (LastError() set on error).
    qint64 Receive(char *data, qint64 n);
    // Cancels a pending resolution, stops the countdown, closes the socket.
    void Close();

    static QString LocalHostName();
    QString DottedAddress() const;
    // The IPv4 address (0 while the address is an IPv6 one).
    quint32 Address() const { return m_address6.isNull() ? m_address : 0; }
    bool IsIPv6() const { return !m_address6.isNull(); }
    int LastError() const { return m_lastError; }
    bool Connected() const { return m_connected; }
    int Socket() const { return m_fd; }

    int TimeoutConnect() const { return m_timeoutConnect; }
    void setTimeoutConnect(int seconds) { m_timeoutConnect = seconds; }
    int TimeoutArp() const { return m_timeoutArp; }
    void setTimeoutArp(int seconds) { m_timeoutArp = seconds; }

    // Begins TLS on the connected socket: the handshake runs from the event
    // loop and ends in TlsReadyEvent or TlsFailedEvent. The certificate must
    // be trusted (the system's certificates plus ExtraCaCertificates) and
    // name peerName, unless acceptUntrusted, which takes any certificate.
    // After the handshake Send and Receive carry plain text over TLS.
    void StartTls(const QString &peerName, bool acceptUntrusted);
    bool TlsActive() const { return m_tlsReady; }
    // Trust anchors besides the system's (empty in the program).
    QList<QSslCertificate> ExtraCaCertificates() const { return m_extraCa; }
    void setExtraCaCertificates(const QList<QSslCertificate> &certs) { m_extraCa = certs; }
    // Whether this machine's Qt can do TLS at all.
    static bool TlsSupported();

    // Posts an owner message (FirstOwnerMessage or above) to this object's
    // own event queue; MessageEvent(msg) runs when it is handled.
    void PostMessage(int msg);

    // Handlers for a user of the bare layer; a subclass overrides the
    // *Event functions instead. Unset handlers are skipped.
    std::function<void()> OnSocketConnect, OnSocketRead, OnSocketWrite, OnSocketClose, OnSocketTimeout,
        OnSocketResolved;
    std::function<void(int msg)> OnSocketMessage;

protected:
    virtual void ConnectEvent();
    virtual void ReadEvent();
    virtual void WriteEvent();
    virtual void CloseEvent();
    virtual void TimeoutEvent();
    virtual void ResolvedEvent();
    virtual void MessageEvent(int msg);
    virtual void TlsReadyEvent() {}
    virtual void TlsFailedEvent(const QString &reason) { Q_UNUSED(reason) }

    void customEvent(QEvent *event) override;
    void setLastError(int error) { m_lastError = error & 0xFFFF; }

private:
    void StartCountdown(int seconds);
    void StopCountdown();
    void countdownTick();
    void readReady();
    void writeReady();
    void closeNotification(int error);
    void dropNotifiers();
    void tlsReadyRead();
    void tlsWritten();
    void tlsError();
    void tlsDisconnected();
    int openSocket(int family);
    static QHash<QString, QSslConfiguration> &tlsConfigurations();

    bool m_started = false;
    int m_fd = -1;
    bool m_connected = false;
    bool m_connecting = false;
    bool m_wantWrite = false;
    bool m_inRead = false;
    bool m_receivedInRead = false;
    quint32 m_address = 0; // host byte order
    QHostAddress m_address6; // set (and m_address unused) for an IPv6 address
    int m_family = 0;        // of the socket made
    quint16 m_port = 0;
    quint32 m_resolved = 0;
    QHostAddress m_resolved6;
    QSslSocket *m_tls = nullptr;
    bool m_tlsReady = false;
    bool m_tlsFailed = false;
    bool m_tlsReadPending = false;
    QString m_tlsReason;
    QString m_tlsCacheKey;
    QList<QSslCertificate> m_extraCa;
    QObject *m_lookupContext = nullptr;
    int m_lastError = 0;
    int m_countdown = 0;
    QTimer m_timer;
    int m_timeoutConnect = 0;
    int m_timeoutArp = 0;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
};
