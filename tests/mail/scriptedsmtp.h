#pragma once

// Test peers for the mail sender: a scripted SMTP server on loopback whose
// every answer a test can set, and a recorder of the sender's events.

#include "mail/inetmail.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Answers one command per line. A reply is sent as it stands (include the
// CR LF); two special replies: Close (close without a word) and Silent (say
// nothing). Every byte received is kept in `received`.
class ScriptedSmtp : public QObject
{
public:
    static inline const QByteArray Close = "<close>";
    static inline const QByteArray Silent = "<silent>";

    // A reply that ends in Close is sent, then the connection is closed.
    // Greeting: sent in these chunks, chunkDelayMs apart; Close after the
    // last chunk closes the connection.
    QList<QByteArray> greeting{"220 scripted ESMTP\r\n"};
    int chunkDelayMs = 0;
    // Replies by command word ("HELO", "MAIL", "RCPT", "DATA", "QUIT") and
    // "." for the end of the message. A DATA answered with a 3xx or Silent
    // makes the server take the message lines that follow.
    QHash<QByteArray, QByteArray> replies{{"HELO", "250 hello\r\n"}, {"MAIL", "250 ok\r\n"},
                                          {"RCPT", "250 ok\r\n"},    {"DATA", "354 go ahead\r\n"},
                                          {".", "250 queued\r\n"},   {"QUIT", "221 bye\r\n"}};
    bool closeAfterQuit = true;
    // After the reply to this command word, the next bytes received (a line
    // or not, a TLS hello for one) are answered with rawAnswer as they are.
    QByteArray rawAfterVerb;
    QByteArray rawAnswer;
    // Each reply byte is written on its own, this far apart (0: at once).
    int dripMs = 0;
    // After answering DATA, read nothing for this long, so that the
    // sender's writes back up.
    int pauseAfterDataMs = 0;

    QByteArray received;
    int connections = 0;
    // What had been received when each greeting chunk was sent.
    QList<QByteArray> receivedAtChunk;
    // The message bytes between the reply to DATA and the closing "." line
    // (inclusive), exactly as they came over the wire.
    QList<QByteArray> messages;

    ScriptedSmtp()
    {
        m_server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
        connect(&m_server, &QTcpServer::newConnection, this, &ScriptedSmtp::accept);
    }
    ~ScriptedSmtp() override
    {
        if (m_socket)
            m_socket->abort();
    }
    quint16 port() const { return m_server.serverPort(); }
    QTcpSocket *socket() const { return m_socket; }

private:
    void accept()
    {
        while (QTcpSocket *s = m_server.nextPendingConnection()) {
            ++connections;
            m_socket = s;
            m_line.clear();
            m_inData = false;
            connect(s, &QTcpSocket::readyRead, this, [this, s] { onRead(s); });
            sendGreeting(s, 0);
        }
    }
    void sendGreeting(QPointer<QTcpSocket> s, int index)
    {
        if (!s || index >= greeting.size())
            return;
        receivedAtChunk.append(received);
        reply(s, greeting.at(index));
        if (index + 1 < greeting.size())
            QTimer::singleShot(chunkDelayMs, this, [this, s, index] { sendGreeting(s, index + 1); });
    }
    void reply(QPointer<QTcpSocket> s, const QByteArray &text)
    {
        if (!s)
            return;
        if (text == Close) {
            s->disconnectFromHost();
            return;
        }
        if (text == Silent)
            return;
        if (text.endsWith(Close)) {
            s->write(text.chopped(Close.size()));
            s->disconnectFromHost();
            return;
        }
        if (dripMs <= 0) {
            s->write(text);
            return;
        }
        m_drip += text;
        if (!m_dripTimer.isActive()) {
            m_dripTimer.disconnect();
            connect(&m_dripTimer, &QTimer::timeout, this, [this, s] {
                if (!s || m_drip.isEmpty()) {
                    m_dripTimer.stop();
                    return;
                }
                s->write(m_drip.left(1));
                m_drip.remove(0, 1);
            });
            m_dripTimer.start(dripMs);
        }
    }
    void onRead(QTcpSocket *s)
    {
        if (m_paused)
            return;
        const QByteArray data = s->readAll();
        received += data;
        if (m_rawArmed) {
            m_rawArmed = false;
            s->write(rawAnswer);
            return;
        }
        m_line += data;
        for (;;) {
            const qsizetype end = m_line.indexOf("\r\n");
            if (end < 0)
                break;
            const QByteArray line = m_line.left(end);
            m_line.remove(0, end + 2);
            if (m_inData) {
                m_message += line + "\r\n";
                if (line == ".") {
                    m_inData = false;
                    messages.append(m_message);
                    m_message.clear();
                    reply(s, replies.value("."));
                }
                continue;
            }
            const QByteArray verb = line.left(line.indexOf(' ') < 0 ? line.size() : line.indexOf(' ')).left(4);
            const QByteArray answer = replies.value(verb.toUpper(), "500 what\r\n");
            reply(s, answer);
            if (!rawAfterVerb.isEmpty() && verb.toUpper() == rawAfterVerb) {
                m_rawArmed = true;
                m_line.clear();
                return;
            }
            if (verb.toUpper() == "DATA" && (answer.startsWith('3') || answer == Silent)) {
                m_inData = true;
                if (pauseAfterDataMs > 0) {
                    m_paused = true;
                    s->setReadBufferSize(1);
                    QPointer<QTcpSocket> guard(s);
                    QTimer::singleShot(pauseAfterDataMs, this, [this, guard] {
                        m_paused = false;
                        if (guard) {
                            guard->setReadBufferSize(0);
                            onRead(guard);
                        }
                    });
                    // The rest is read when the pause ends.
                    return;
                }
            }
            if (verb.toUpper() == "QUIT" && closeAfterQuit)
                s->disconnectFromHost();
        }
    }

    QTcpServer m_server;
    QPointer<QTcpSocket> m_socket;
    QByteArray m_line;
    QByteArray m_message;
    bool m_inData = false;
    bool m_paused = false;
    bool m_rawArmed = false;
    QByteArray m_drip;
    QTimer m_dripTimer;
};

// Collects what a SendMail reports.
struct MailRecorder {
    QList<QPair<SendMailInfo, QString>> infos;
    QList<QPair<SendMailError, QString>> errors;
    int done = 0;
    bool busyAtDone = true;

    void attach(SendMail &m)
    {
        m.OnMailInfo = [this](SendMail *, SendMailInfo i, const QString &t) { infos.append({i, t}); };
        m.OnMailError = [this](SendMail *, SendMailError e, const QString &t) { errors.append({e, t}); };
        m.OnDone = [this](SendMail *s) {
            ++done;
            busyAtDone = s->Busy();
        };
    }
    QStringList infoTexts(SendMailInfo which) const
    {
        QStringList out;
        for (const auto &i : infos)
            if (i.first == which)
                out.append(i.second);
        return out;
    }
    int indexOf(SendMailInfo which) const
    {
        for (int k = 0; k < infos.size(); ++k)
            if (infos[k].first == which)
                return k;
        return -1;
    }
};

// A listening socket whose accept queue is full: a connect to it gets no
// answer at all, like a host that drops the packets.
class BlackholeListener
{
public:
    BlackholeListener()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
        ::listen(m_listener, 0);
        socklen_t len = sizeof sa;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&sa), &len);
        m_port = ntohs(sa.sin_port);
        // One connection fills the queue of a backlog of 0.
        m_filler = ::socket(AF_INET, SOCK_STREAM, 0);
        ::connect(m_filler, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    }
    ~BlackholeListener()
    {
        ::close(m_filler);
        ::close(m_listener);
    }
    quint16 port() const { return m_port; }

private:
    int m_listener = -1;
    int m_filler = -1;
    quint16 m_port = 0;
};
