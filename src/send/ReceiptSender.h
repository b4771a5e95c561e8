#pragma once
// Sending a return receipt: the notification is built (ReceiptMessage.h),
// a new SMTP client is configured from the account (which may ask for the
// SMTP password) and the send worker runs on a thread of its own while the
// calling (interface) thread waits with the silence limit. Stop reaches the
// client through SendOptions::clientChanged and StopSend, as for a composed
// message. Failures are reported like other network operations: "Aborted on
// demand." or the error window with the error list.

#include <QDateTime>

#include "send/SendWorker.h"

namespace vm {

class MailAccount;
class MessageRecord;

enum class ReceiptSendResult {
    Sent,      // the receipt state is now 3
    Cancelled, // the SMTP password prompt was cancelled; nothing sent
    Failed,    // not sent (error, interrupt, silence); reported; state unchanged
};

// Whose status texts a receipt's send shows: the main window's status panel
// ("Connecting to server (account: ...)", then "Idle") or the details
// window's operation label ("Connecting...", nothing afterwards).
enum class ReceiptStatusTexts { MainWindow, DetailsWindow };

// Sends the receipt for original from account. options.showMessages is not
// used: the outcome is always reported. now: the time of display written
// into the receipt; invalid = the current time.
ReceiptSendResult SendReceipt(MessageRecord& original, MailAccount& account,
                              const SendOptions& options = {}, const QDateTime& now = {},
                              ReceiptStatusTexts texts = ReceiptStatusTexts::MainWindow);

} // namespace vm
