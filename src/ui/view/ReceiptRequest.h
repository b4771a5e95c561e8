#pragma once
// Answering a message's request for a return receipt. The main window's
// preview calls it when a message that asks for one is shown, and the
// details window when it is activated on such a message; both reach it
// through the main window's `receipt` command (MainWindow::Commands).
//
// A message is asked about only while its receipt state is 1 and its whole
// text is held. An account that cannot send gets the alert window instead.
// Otherwise a Yes/No/Cancel question with No as the default button names the
// address the receipt goes to and says when that is not the message's return
// path: Yes sends, No declines for good (state 2), Cancel leaves the request
// for the next time the message is shown.

#include <QString>

#include <functional>

#include "send/ReceiptSender.h"

namespace vm {

class MailAccount;
class MessageRecord;

enum class ReceiptAnswer {
    NotAsked,  // nothing to ask (state not 1, headers only, no account)
    Alerted,   // the account cannot send; the alert window was shown
    Declined,  // No: state 2
    Postponed, // Cancel: state stays 1
    Sent,      // Yes, and the receipt went: state 3
    NotSent,   // Yes, but the send failed or its password prompt was cancelled
};

struct ReceiptHooks
{
    // The alert window for an account that cannot send; sets state 2 when
    // its tick says so. Empty: ReceiptAlertWindow::ShowFor.
    std::function<void(MessageRecord& message)> alert;
    // Sends the receipt after Yes. Empty: SendReceipt without a status line.
    std::function<ReceiptSendResult(MessageRecord& message, MailAccount& account)> send;
};

// The question: "Sender of this message asked for a return receipt. Send
// it?", the address the receipt will be sent to and, when it differs from the
// return path, a line saying so with the return path.
QString ReceiptQuestionText(const MessageRecord& message);

// The decision for one message (its account is the one owning its mailbox).
ReceiptAnswer AnswerReceiptRequest(MessageRecord& message, const ReceiptHooks& hooks = {});

} // namespace vm
