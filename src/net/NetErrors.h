#pragma once
// Errors of the network layer and the operation status shared by the POP3
// and SMTP clients. Every error of a network operation derives from
// NetworkError; a worker catches that base at its boundary and turns the
// error into one line of the error list (class name and message).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <exception>

#include "core/Errors.h"

namespace vm {

// State of a running operation as the interface thread and the worker share
// it: the interface thread asks for an interrupt, the worker's next network
// wait turns the request into OperationCancelled.
enum InterruptState : std::uint8_t {
    osProceed = 0,
    osInterrupt = 1,
    osCancelRaised = 2,
};

// Common base of every error a network operation raises.
class NetworkError : public std::exception, public vm::ReportableError
{
public:
    explicit NetworkError(const QString& message);
    ~NetworkError() override;
    // The class name shown in the error list.
    virtual QString ClassName() const { return QStringLiteral("NetworkError"); }
    const QString& Message() const { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }
    QString ReportClassName() const override { return ClassName(); }
    QString ReportMessage() const override { return message_; }

private:
    QString message_;
    QByteArray utf8_;
};

#define VM_DECLARE_NET_ERROR(Name, Base)                                                           \
    class Name : public Base                                                                       \
    {                                                                                              \
    public:                                                                                        \
        using Base::Base;                                                                          \
        QString ClassName() const override { return QStringLiteral(#Name); }                       \
    }

// Socket-level failures: host not found, connection refused, reset, write errors.
VM_DECLARE_NET_ERROR(SocketError, NetworkError);
// The TCP connection (with its TLS handshake) was not made within the limit.
VM_DECLARE_NET_ERROR(ConnectTimedOut, NetworkError);
// No data arrived within the transport's own read limit (when one is set).
VM_DECLARE_NET_ERROR(ReadTimedOut, NetworkError);
// The peer closed the connection while a reply was expected.
VM_DECLARE_NET_ERROR(ConnectionClosed, NetworkError);
// The connection was closed by this program (silence limit or shutdown).
VM_DECLARE_NET_ERROR(ConnectionAborted, NetworkError);
// A network operation was used while no connection exists.
VM_DECLARE_NET_ERROR(NotConnected, NetworkError);
// The user asked to interrupt the operation.
VM_DECLARE_NET_ERROR(OperationCancelled, NetworkError);
// TLS handshake failures other than certificate verification.
VM_DECLARE_NET_ERROR(TlsError, NetworkError);
// A protocol client got a reply it cannot use (POP3 "-ERR", bad SMTP code...).
VM_DECLARE_NET_ERROR(ProtocolReplyError, NetworkError);
// A reply went past the bound stated for its kind (line length, lines or
// bytes). The rest of it was not read, so the dialogue is out of step and
// the connection cannot go on; unlike a refusal ("-ERR") it is never taken
// as the answer about one message.
VM_DECLARE_NET_ERROR(ReplyTooLarge, NetworkError);

// The server's certificate failed verification. Carries what a window needs
// to offer trusting exactly this certificate for this host and port.
class CertificateError : public TlsError
{
public:
    CertificateError(const QString& host, quint16 port, const QStringList& reasons,
                           const QString& fingerprint);
    QString ClassName() const override { return QStringLiteral("CertificateError"); }
    QString host;
    quint16 port;
    QStringList reasons;
    // SHA-256 of the DER certificate, upper-case hex pairs joined by ':'.
    QString fingerprint;
    // The certificate itself (DER), so a window can show its subject, issuer
    // and validity; empty when the server presented none.
    QByteArray certificateDer;
};

} // namespace vm
