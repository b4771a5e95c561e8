#include "send/ReceiptSender.h"

#include "core/Messages.h"
#include "mime/MessageRecord.h"
#include "model/MailAccount.h"
#include "ops/CertificateFailures.h"
#include "ops/ErrorList.h"
#include "ops/OperationReport.h"
#include "ops/StatusChannel.h"
#include "send/OutgoingMessage.h"
#include "send/ReceiptMessage.h"
#include "send/SendRequest.h"
#include "send/SmtpClient.h"

namespace vm {

namespace {

void Post(StatusChannel* status, const QString& text)
{
    if (status)
        status->Post(text);
}

} // namespace

ReceiptSendResult SendReceipt(MessageRecord& original, MailAccount& account,
                              const SendOptions& options, const QDateTime& now,
                              ReceiptStatusTexts texts)
{
    const QString accountName = QString::fromUtf8(account.DisplayName());
    ClearErrorList();
    ClearCertificateFailures();

    auto client = std::make_unique<SmtpClient>();
    if (!ConfigureSMTP(*client, account))
        return ReceiptSendResult::Cancelled;

    std::unique_ptr<OutgoingMessage> receipt = BuildReceipt(original, account, now);
    const ReceiptAddress to = ReceiptRecipient(original);
    if (!receipt || !IsSendableAddress(to.address) ||
        !IsSendableAddress(account.FromAddress().trimmed())) {
        const QByteArray bad =
            IsSendableAddress(to.address) ? account.FromAddress().trimmed() : to.address;
        AppendErrorLine(
            ErrorLine(accountName, QStringLiteral("BadAddress"),
                      QStringLiteral("Invalid address <%1>").arg(QString::fromUtf8(bad))));
        ReportOperation(OperationKind::Other, false, true);
        return ReceiptSendResult::Failed;
    }

    SendingThreadParams params;
    params.message = receipt.get();
    params.client = client.get();
    params.window = options.status;
    params.account = &account;
    const bool details = texts == ReceiptStatusTexts::DetailsWindow;
    params.statusText = [accountName, details](const char* key) -> QString {
        if (details) {
            if (qstrcmp(key, "Connecting") == 0)
                return TextOr("DETAILSWND", "Connecting", "Connecting...");
            if (qstrcmp(key, "Sending") == 0)
                return TextOr("DETAILSWND", "SendingReceipt", "Sending return receipt...");
            return TextOr("DETAILSWND", "Disconnecting", "Disconnecting...");
        }
        if (qstrcmp(key, "Connecting") == 0)
            return TextOr("MAINWND", "LoggingToServer", "Connecting to server (account: %s)",
                          {accountName});
        if (qstrcmp(key, "Sending") == 0)
            return TextOr("MAINWND", "SendingReceipt", "Sending return receipt...");
        return TextOr("MAINWND", "Disconnecting", "Disconnecting from server (account: %s)",
                      {accountName});
    };

    bool silenced = false;
    const int result = RunSendWorker(params, options, &silenced);
    receipt.reset();
    client.reset();
    if (!details)
        Post(options.status, TextOr("MAINWND", "Idle", "Idle"));

    if (result == kResultDone) {
        original.receiptState = 3;
        return ReceiptSendResult::Sent;
    }
    const bool interrupted = !silenced && params.failure == SendFailure::Interrupted;
    if (silenced || params.failure == SendFailure::NoReply)
        AppendNoReplyError(accountName);
    else if (params.failure == SendFailure::Error)
        AppendErrorLine(params.errorLine.isEmpty()
                            ? ErrorLine(accountName, QStringLiteral("Exception"), params.errorText)
                            : params.errorLine);
    ReportOperation(OperationKind::Other, interrupted, true);
    return ReceiptSendResult::Failed;
}

} // namespace vm
