#include "send/SendWorker.h"

#include "config/Settings.h"
#include "core/Messages.h"
#include "lang/Lang.h"
#include "model/MailAccount.h"
#include "ops/CertificateFailures.h"
#include "ops/ErrorList.h"
#include "ops/OperationReport.h"
#include "ops/StatusChannel.h"
#include "send/OutgoingMessage.h"
#include "send/SmtpClient.h"

namespace vm {

namespace {

void Post(StatusChannel* status, const QString& text)
{
    if (status)
        status->Post(text);
}

QString SendingErrorText(const QString& error)
{
    return TextOr("SendMailWnd", "SendingError",
                  "Fatal failure occured while trying to send message: \"%s\". Operation "
                  "aborted.",
                  {error});
}

} // namespace

QString SendStatusText(const char* key)
{
    struct Entry
    {
        const char* key;
        const char* english;
    };
    static const Entry entries[] = {
        {"Connecting", "Connecting to SMTP server..."},
        {"Sending", "Sending message..."},
        {"Disconnecting", "Disconnecting..."},
        {"Sent", "Message sent successfully"},
        {"Ready", "Ready"},
    };
    for (const Entry& e : entries) {
        if (qstrcmp(e.key, key) == 0)
            return TextOr("SendMailWnd", key, e.english);
    }
    return TextOr("SendMailWnd", key, key);
}

int SendingThread(SendingThreadParams& p)
{
    SmtpClient& client = *p.client;
    const auto statusText = [&p](const char* key) {
        return p.statusText ? p.statusText(key) : SendStatusText(key);
    };
    bool sent = false;
    try {
        Post(p.window, statusText("Connecting"));
        client.Connect();
        Post(p.window, statusText("Sending"));
        client.Send(*p.message);
        p.finalReply = client.LastReply().Text();
        sent = true;
    } catch (const OperationCancelled&) {
        client.Close();
        p.failure = SendFailure::Interrupted;
    } catch (const std::exception& e) {
        if (const auto* refused = dynamic_cast<const CertificateError*>(&e)) {
            // Kept for a window that offers to trust the certificate.
            RecordCertificateFailure(QString::fromUtf8(p.account->DisplayName()), *refused);
        }
        // Says QUIT when the server still waits for a command (a refused
        // AUTH or STARTTLS), else just closes.
        client.EndAfterFailure();
        if (client.GetTransport().Aborted())
            p.failure = SendFailure::NoReply; // ended by the silence limit
        else if (client.OperationStatus() != osProceed)
            p.failure = SendFailure::Interrupted;
        else {
            p.failure = SendFailure::Error;
            p.errorText = ErrorMessage(e);
            p.errorLine = ErrorLine(*p.account, e);
        }
    } catch (...) {
        client.Close();
        p.failure = SendFailure::Error; // reported without text
    }

    if (sent) {
        p.account->SmtpSendSucceeded();
        Post(p.window, statusText("Disconnecting"));
        try {
            client.Disconnect();
        } catch (...) {
            // The message was accepted; a failing goodbye changes nothing.
            client.Close();
        }
    }
    p.result.store(sent ? kResultDone : kResultFailed);
    return 0;
}

int RunSendWorker(SendingThreadParams& params, const SendOptions& options, bool* silenced)
{
    SmtpClient* client = params.client;
    WorkerRun run;
    run.transport = &client->GetTransport();
    run.silenceLimitSeconds =
        options.silenceLimitSeconds >= 0 ? options.silenceLimitSeconds : AppSettings().ConnectTimeout;
    *silenced = false;
    run.onSilence = [&] {
        *silenced = true;
        Post(options.status, params.statusText ? params.statusText("Disconnecting")
                                               : SendStatusText("Disconnecting"));
        client->GetTransport().SetOperationStatus(osProceed);
        client->Close();
    };
    if (options.clientChanged)
        options.clientChanged(client);
    const int result = RunWorker(
        params, [&params] { SendingThread(params); }, run);
    if (options.clientChanged)
        options.clientChanged(nullptr);
    return result;
}

void StopSend(SmtpClient* client)
{
    if (client)
        client->GetTransport().RequestInterrupt();
}

SendOutcome SendComposedMessage(const SendRequest& request, const SendOptions& options)
{
    SendOutcome out;
    auto report = [&](SendFailure failure, const QString& text) {
        out.failure = failure;
        out.errorText = text;
        if (options.showMessages && !text.isEmpty())
            ShowError(text);
        Post(options.status, SendStatusText("Ready"));
        return out;
    };
    if (!request.account)
        return report(SendFailure::Error, SendingErrorText(QStringLiteral("No account.")));

    // Like every operation's starter: the refused certificates of an
    // earlier operation are forgotten.
    ClearCertificateFailures();
    auto client = std::make_unique<SmtpClient>();
    if (!ConfigureSMTP(*client, *request.account)) {
        out.failure = SendFailure::Cancelled;
        return out;
    }
    BuildResult built = BuildOutgoingMessage(request);
    if (built.status != BuildStatus::Ok) {
        return report(built.status == BuildStatus::CannotAttach ? SendFailure::CannotAttach
                                                                : SendFailure::BadAddress,
                      built.errorText);
    }

    SendingThreadParams params;
    params.message = built.message.get();
    params.client = client.get();
    params.window = options.status;
    params.account = request.account;

    bool silenced = false;
    const int result = RunSendWorker(params, options, &silenced);

    // The message goes (with its temporary attachments) after every attempt.
    built.message.reset();
    client.reset();

    if (result == kResultDone) {
        out.sent = true;
        out.finalReply = params.finalReply;
        Post(options.status, SendStatusText("Sent"));
        return out;
    }
    if (silenced || params.failure == SendFailure::NoReply)
        return report(SendFailure::NoReply, RemoteHostNoReplyText());
    if (params.failure == SendFailure::Interrupted)
        return report(SendFailure::Interrupted, InterruptedOnDemandText());
    return report(SendFailure::Error,
                  params.errorText.isEmpty() ? QString() : SendingErrorText(params.errorText));
}

} // namespace vm
