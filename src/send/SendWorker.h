#pragma once
// Sending one composed message: the client is configured from the account,
// the outgoing message built from the request, and the send worker runs on a
// thread of its own while the calling (interface) thread waits in an event
// loop with the silence limit. The compose window and the command line both
// call SendComposedMessage.

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

#include "ops/WorkerRunner.h"
#include "send/SendRequest.h"

namespace vm { class MailAccount; }

namespace vm {

class OutgoingMessage;
class StatusChannel;
class SmtpClient;

// How a send ended.
enum class SendFailure {
    None,         // sent
    Cancelled,    // the password prompt was cancelled; nothing shown
    CannotAttach, // a listed attachment is missing or unreadable
    BadAddress,   // an address that cannot go into the SMTP dialogue
    Error,        // connection, TLS, authentication or transfer error ("SendingError")
    Interrupted,  // the user pressed Stop ("InterruptedOnDemand")
    NoReply,      // the silence limit ended the send ("RemoteHostNoReply")
};

// The parameter block of one send.
struct SendingThreadParams : WorkerParams
{
    OutgoingMessage* message = nullptr;
    SmtpClient* client = nullptr;
    StatusChannel* window = nullptr; // status texts of the compose window; may be null
    MailAccount* account = nullptr;
    // Status text for "Connecting", "Sending" and "Disconnecting"; empty:
    // the compose window's (SendStatusText).
    std::function<QString(const char* key)> statusText;

    // Filled by the worker.
    SendFailure failure = SendFailure::None;
    QString errorText;     // the error's own text for SendingError
    QString errorLine;     // the error list's line for it (ErrorLine)
    QByteArray finalReply; // the server's reply to the end of the data
};

// The worker: connect, send, disconnect; never throws, sets the result as
// its last action. Failure boxes are shown by the waiting side after the
// worker has ended.
int SendingThread(SendingThreadParams& params);

struct SendOptions
{
    StatusChannel* status = nullptr;
    // Silence limit in seconds; by default the setting ConnectTimeout.
    int silenceLimitSeconds = -1;
    // Called with the running client before the worker starts and with
    // nullptr after it ended, so that a window can reach it with StopSend.
    std::function<void(SmtpClient*)> clientChanged;
    // Show the failure messages through the message service.
    bool showMessages = true;
};

struct SendOutcome
{
    bool sent = false;
    SendFailure failure = SendFailure::None;
    QString errorText;     // the text shown (or that would have been shown)
    QByteArray finalReply; // the server's reply to the message data
};

// The whole send procedure. The caller has checked subject, recipients and
// charset (ConvertForSending) before. A server certificate refused during the
// send is recorded in CertificateFailures (cleared at the start), so the
// caller can offer to trust it. Status texts: "Connecting", "Sending",
// "Disconnecting", then "Sent" or "Ready". Temporary attachments are deleted
// after the attempt, whatever its outcome.
SendOutcome SendComposedMessage(const SendRequest& request, const SendOptions& options = {});

// Runs SendingThread for params on a thread of its own while the calling
// thread waits with the silence limit (options.silenceLimitSeconds, else
// ConnectTimeout); options.clientChanged sees params.client while it runs.
// *silenced tells whether the silence limit ended it. Returns the result.
int RunSendWorker(SendingThreadParams& params, const SendOptions& options, bool* silenced);

// Stop of a running send: asks the client's transport to interrupt (only
// when its status is still osProceed). Thread-safe.
void StopSend(SmtpClient* client);

// Status texts of the compose window ("SendMailWnd" section).
QString SendStatusText(const char* key);

} // namespace vm
