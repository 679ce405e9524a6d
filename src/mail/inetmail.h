#pragma once

// SendMail: the SMTP sender that delivers alert e-mails.
//
// One message at a time, asynchronously on the GUI thread: writing
// Action = TMailAction::Send_Mail takes a copy of the properties, returns at
// once, and the SMTP dialogue then advances on socket notifications of the
// TStarSocket layer underneath. Every send ends exactly once; OnDone is
// posted after it has ended (busy is already false when it runs).
//
// Typical use (the alert dispatcher):
//     mail->setFROM_Address(options.mail);
//     mail->setSMTP_Server(options.smtp);
//     mail->setSMTP_Port(port);                 // low 16 bits, 25 when not a number
//     mail->setTO_Address(profile.recipient);
//     mail->setSubject(options.subject);
//     mail->setMailText(lines);                 // placeholders already filled
//     mail->setAction(TMailAction::Send_Mail);  // refused (smAlreadyBusy) while busy
//
// Texts are QStrings; on the wire they are Windows-1252 bytes where the code
// page can hold the text and UTF-8 otherwise, labelled to match: the body's
// charset is "us-ascii" for ASCII text, else "windows-1252" or "utf-8"; a
// header word says ISO-8859-1 (Latin-1 text), windows-1252 or UTF-8. Every
// send ends with TO_Address, TO_Name, ListTo, Listcc and ListBcc empty.
//
// Security and login (all off by default, which gives the plain dialogue
// of HELO, MAIL, RCPT, DATA and QUIT byte for byte):
//     mail->setSecurity(SendMail::SecurityStartTls); // or SecurityTls: TLS from the first byte
//     mail->setUserName(user);                  // a login: AUTH PLAIN or LOGIN
//     mail->setPassword(password);              // any characters
//     mail->setAcceptUntrustedCertificate(false);
// With a security setting or a user name the sender greets with EHLO (HELO
// when the server answers 5xx), sends STARTTLS and EHLO again, then logs in
// with the first of PLAIN and LOGIN that the server offers. The password
// never leaves before TLS is up unless the security setting is None. A
// failed handshake or refused certificate ends the send with smTlsError
// ("TLS handshake failed: certificate has expired"), a refused login with
// smLoginRefused ("Login refused: 535 ..."), a server that offers no method
// we know with smNoLoginMethod.
//
// Safety rules of this sender:
//   - a server that stops answering ends the send (TimeoutConnect,
//     TimeoutArp, TimeoutReply; smConnectTimeOut "Connection timed out");
//   - CR and LF in header values and addresses go out as blanks, so no value
//     can add a header line or an SMTP command;
//   - a reply line is judged by its first character and, for a line of four
//     characters or more, its fourth ("-": more lines follow); an empty line
//     ends the send with smProtocolError "Unexpected response: ", and so
//     does a reply line longer than MaxReplyLine without CR LF;
//   - each send has a generation of its own: a write, a reply or a timer
//     that resumes after events ran (and a new send may have begun) acts
//     only when its send is still the one under way;
//   - the silence bound (TimeoutReply) runs only while the server owes an
//     answer, never while the sender itself is writing;
//   - after the server's answer to QUIT the sender closes the connection
//     itself instead of waiting for the server to close it.
//
// Interface history:
//   1. first published interface.

#include "mail/starsock.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

enum class TMailAction { None, Send_Mail, Cancel_SendMail };

enum SendMailInfo {
    smServerConnected,
    smTraceIn,
    smTraceOut,
    smServerDisconnected,
    smMessageAccepted,
    smAttachmentName,
    smAttachmentSize,
    smAttachmentBytes,
    smBadAddress,
    smRecipient,
    smMessageSize,
    smSendingMessage,
    smBadAttachment,
    smAlreadyBusy,
    smAddressResolved,
    smResolvingAddress
};

enum SendMailError {
    smNone,
    smWInsockNotInitialized,
    smNetworkDown,
    smInvalidAddress,
    smInternalError,
    smGeneralWinsockError,
    smConnAborted,
    smConnReset,
    smConnectTimeOut,
    smOutofSockets,
    smNetworkUnreachable,
    smAddressNotAvailable,
    smConnectionRefused,
    smProtocolError,
    smCanceled,
    smUnknown,
    smAddressResolutionError,
    smPrematureDisconnect,
    smMailDestinationError,
    smHostUnreachable,
    // Beyond the plain dialogue: TLS and login.
    smTlsError,
    smLoginRefused,
    smNoLoginMethod
};

class SendMail : public TStarSocket
{
    Q_OBJECT

public:
    // Events: (Sender, code, addinfo). Unset handlers are skipped.
    using MailInfoEvent = std::function<void(SendMail *sender, SendMailInfo info, const QString &addInfo)>;
    using MailErrorEvent = std::function<void(SendMail *sender, SendMailError error, const QString &addInfo)>;
    using FeedDataEvent = std::function<void(SendMail *sender, QString &data)>;
    using DoneEvent = std::function<void(SendMail *sender)>;

    explicit SendMail(QObject *parent = nullptr);
    ~SendMail() override;

    // Server: a value whose first character is a digit is a dotted IPv4
    // address used as it is, and so is an IPv6 address (with or without
    // brackets); anything else is a host name resolved before connecting
    // (its first IPv4 address, else its first IPv6 one). An empty value
    // leaves the server in force unchanged.
    QString SMTP_Server() const { return m_server; }
    void setSMTP_Server(const QString &server);

    QString FROM_Name() const { return m_fromName; }
    void setFROM_Name(const QString &v) { m_fromName = v; }
    QString FROM_Address() const { return m_fromAddress; }
    void setFROM_Address(const QString &v) { m_fromAddress = v; }
    QString TO_Name() const { return m_toName; }
    void setTO_Name(const QString &v) { m_toName = v; }
    QString TO_Address() const { return m_toAddress; }
    void setTO_Address(const QString &v) { m_toAddress = v; }
    QString Subject() const { return m_subject; }
    void setSubject(const QString &v) { m_subject = v; }
    quint16 SMTP_Port() const { return m_port; }
    void setSMTP_Port(quint16 v) { m_port = v; }

    // Writing Action: Send_Mail starts a send, Cancel_SendMail ends the send
    // under way (last error smCanceled, no error report), None does nothing.
    TMailAction Action() const { return TMailAction::None; }
    void setAction(TMailAction action);

    MailInfoEvent OnMailInfo;
    MailErrorEvent OnMailError;

    QStringList MailText() const { return m_mailText; }
    void setMailText(const QStringList &lines) { m_mailText = lines; }

    // Recipient entries: "address|display name" (the name optional).
    QStringList Listcc() const { return m_listCc; }
    void setListcc(const QStringList &v) { m_listCc = v; }
    QStringList ListBcc() const { return m_listBcc; }
    void setListBcc(const QStringList &v) { m_listBcc = v; }
    QStringList ListTo() const { return m_listTo; }
    void setListTo(const QStringList &v) { m_listTo = v; }

    // File names, sent base64-encoded in a multipart/mixed message.
    QStringList Attachments() const { return m_attachments; }
    void setAttachments(const QStringList &v) { m_attachments = v; }

    // Extra header lines "Name: value".
    QStringList Headers() const { return m_headers; }
    void setHeaders(const QStringList &v) { m_headers = v; }

    // Asked for more body text after MailText until it leaves data empty.
    FeedDataEvent OnFeedData;

    bool KeepConnectionOpen() const { return m_keepOpen; }
    void setKeepConnectionOpen(bool v) { m_keepOpen = v; }

    bool WinsockStarted() const { return LibraryStarted(); }

    QString Version() const { return m_version; }
    void setVersion(const QString &v) { m_version = v; }

    // TimeoutConnect and TimeoutArp (seconds, 0 = none) come from TStarSocket.
    // The sender's defaults are 30 s each, so that a dead server or a hung
    // name lookup cannot keep it busy for ever.
    //
    // TimeoutReply: seconds the dialogue may wait, once connected, without a
    // complete reply from the server and without any progress in writing;
    // when it runs out the send ends with smConnectTimeOut
    // "Connection timed out". 0 = none. Default 60.
    int TimeoutReply() const { return m_timeoutReply; }
    void setTimeoutReply(int seconds);

    DoneEvent OnDone;

    // Security of the connection and the login.
    enum Security { SecurityNone = 0, SecurityStartTls = 1, SecurityTls = 2 };
    Security security() const { return m_security; }
    void setSecurity(Security v) { m_security = v; }
    QString UserName() const { return m_user; }
    void setUserName(const QString &v) { m_user = v; }
    void setPassword(const QString &v) { m_password = v; }
    bool AcceptUntrustedCertificate() const { return m_acceptUntrusted; }
    void setAcceptUntrustedCertificate(bool v) { m_acceptUntrusted = v; }

    // The generation of the send under way (or of the last one); it grows
    // with every send started.
    quint64 Generation() const { return m_generation; }

    // State, for callers and tests.
    bool Busy() const { return m_busy; }
    SendMailError LastMailError() const { return m_lastMailError; }

    // Longest partial reply line kept while waiting for its CR LF; a server
    // sending more than this without a line end ends the send with
    // smProtocolError.
    static constexpr int MaxReplyLine = 4096;

protected:
    void TlsReadyEvent() override;
    void TlsFailedEvent(const QString &reason) override;
    void ConnectEvent() override;
    void ReadEvent() override;
    void CloseEvent() override;
    void TimeoutEvent() override;
    void ResolvedEvent() override;
    void MessageEvent(int msg) override;

private:
    enum class State {
        AwaitingGreeting,
        HeloSent,
        MailSent,
        RcptSent,
        DataSent,
        MessageSent,
        QuitSent,
        // Beyond the plain dialogue.
        TlsConnecting,
        EhloSent,
        HeloFallbackSent,
        StartTlsSent,
        TlsHandshake,
        AuthPlainSent,
        AuthLoginSent,
        AuthUserSent,
        AuthPasswordSent
    };
    struct Recipient {
        QByteArray address;
        QString name;
    };

    void startSend();
    void info(SendMailInfo what, const QString &addInfo = QString());
    void reportError(SendMailError error, const QString &text);
    void reportSocketError(int winsockError);
    void clearRecipients();
    void abortSend();
    void endSend();
    void handleReplyLine(const QByteArray &line);
    void advance();
    void resumeReading();
    bool writeLine(const QByteArray &text, bool messageLine = false);
    bool writeSecret(const QByteArray &text, const QString &shown);
    void afterGreeting();
    void afterCapabilities();
    void sendMailFrom();
    bool extendedDialogue() const;
    QByteArray headerWord(const QString &text, int maxLength = -1) const;
    bool writeRaw(const QByteArray &bytes);
    bool flushHeld();
    bool nextRecipient(Recipient &out);
    void sendMessage();
    bool sendBody();
    bool sendAttachments();
    void touchReplyTimer();
    void stopReplyTimer();
    void replyTimedOut();

    // Published values.
    QString m_server;
    bool m_serverIsDotted = false;
    QString m_fromName, m_fromAddress, m_toName, m_toAddress, m_subject;
    quint16 m_port = 25;
    QStringList m_mailText, m_listCc, m_listBcc, m_listTo, m_attachments, m_headers;
    bool m_keepOpen = false;
    QString m_version;
    int m_timeoutReply = 60;
    Security m_security = SecurityNone;
    QString m_user, m_password;
    bool m_acceptUntrusted = false;

    // The send under way: values taken at its start.
    struct Snapshot {
        QString server;
        bool serverIsDotted = false;
        quint16 port = 25;
        QString fromName, subject;
        QByteArray fromAddress;
        Recipient first;
        int firstList = -1; // where the first recipient came from: 0 To, 1 cc, 2 bcc; -1 none
        QList<Recipient> to, cc, bcc;
        QList<QString> headers;
        QByteArray charset; // of the body: us-ascii, windows-1252 or utf-8
        Security security = SecurityNone;
        QString user, password;
        bool acceptUntrusted = false;
        QStringList attachments;
        QByteArray body; // CR LF line ends, not yet encoded
        bool hasBody = false;
        bool quotedPrintable = false;
        bool keepOpen = false;
    } m_send;

    bool m_busy = false;
    bool m_aborted = false;
    bool m_ended = false;
    bool m_accepted = false;
    State m_state = State::AwaitingGreeting;
    int m_cursorList = 0; // 0 To, 1 cc, 2 bcc, 3 done
    int m_cursorIndex = 0;
    QByteArray m_lastRecipient;
    QByteArray m_partial;
    bool m_inReply = false;
    bool m_readAgain = false;
    bool m_atLineStart = true;
    int m_qpCounter = 0;
    SendMailError m_lastMailError = smNone;
    QTimer m_replyTimer;
    quint64 m_generation = 0;
    int m_writeDepth = 0;
    bool m_donePending = false;
    QStringList m_capabilities; // of the last EHLO reply, upper-cased
    QStringList m_replyLines;   // of the reply being read
    bool m_authenticated = false;
    bool m_holdLines = false; // message lines wait in m_held for the next write
    QByteArray m_held;
};
