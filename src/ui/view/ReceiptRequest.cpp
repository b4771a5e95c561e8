#include "ui/view/ReceiptRequest.h"

#include "core/Messages.h"
#include "mime/Addresses.h"
#include "mime/MessageRecord.h"
#include "model/Mailbox.h"
#include "model/MailAccount.h"
#include "ops/ErrorList.h"
#include "send/ReceiptMessage.h"
#include "ui/view/ReceiptAlertWindow.h"

namespace vm {

QString ReceiptQuestionText(const MessageRecord& message)
{
    const ReceiptAddress to = ReceiptRecipient(message);
    QString text = TextOr("DETAILSWND", "ReturnReceiptDemand",
                          "Sender of this message asked for a return receipt. Send it?");
    text += QStringLiteral("\n\n") + TextOr("DETAILSWND", "ReturnReceiptAddress",
                                            "The receipt will be sent to %s.",
                                            {AddressFullText(to.name, to.address)});
    if (ReceiptGoesElsewhere(message)) {
        text += QLatin1Char('\n') +
                TextOr("DETAILSWND", "ReturnReceiptNotReturnPath",
                       "This is not the address the message came from (its return path is %s).",
                       {QString::fromUtf8(ReturnPathAddress(message))});
    }
    return text;
}

ReceiptAnswer AnswerReceiptRequest(MessageRecord& message, const ReceiptHooks& hooks)
{
    if (message.receiptState != 1 || message.HoldingState() != MessageRecord::Holding::Whole)
        return ReceiptAnswer::NotAsked;
    MailAccount* account = message.owner ? message.owner->Account() : nullptr;
    if (!account)
        return ReceiptAnswer::NotAsked;

    if (!AccountCanSendReceipt(*account)) {
        if (hooks.alert)
            hooks.alert(message);
        else
            ReceiptAlertWindow::ShowFor(message);
        return ReceiptAnswer::Alerted;
    }

    // No is the default: a Return meant for the message list never consents.
    switch (AskYesNoCancel(ReceiptQuestionText(message), true)) {
    case MsgAnswer::Yes:
        break;
    case MsgAnswer::No:
        message.receiptState = 2;
        return ReceiptAnswer::Declined;
    default:
        return ReceiptAnswer::Postponed;
    }
    const ReceiptSendResult sent =
        hooks.send ? hooks.send(message, *account) : SendReceipt(message, *account);
    return sent == ReceiptSendResult::Sent ? ReceiptAnswer::Sent : ReceiptAnswer::NotSent;
}

} // namespace vm
