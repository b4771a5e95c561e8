#pragma once
// "velmora --send": sends one message through an account's SMTP settings,
// with the same building and sending path as the compose window.
//
//   --send --account ACCOUNT --to ADDR [--cc ADDR] [--bcc ADDR] --subject TEXT
//          (--body TEXT | --body-file FILE) [--html] [--charset NAME]
//          [--priority 0-4] [--receipt] [--attach FILE]...
//
//   --send (--reply | --reply-all | --forward) ACCOUNT UIDL [--to ADDR]...
//          [--cc ADDR] [--bcc ADDR] [--subject TEXT] [--body TEXT | --body-file FILE]
//          [--charset NAME] [--priority 0-4] [--receipt] [--attach FILE]...
//
// --to, --cc, --bcc and --attach may be repeated; ADDR is an address or
// "Name <address>". The charset is UTF-8 unless --charset names another of
// the program's charsets. With --reply, --reply-all or --forward the message
// starts from the stored message of that account with that UIDL as the
// compose window would: its recipients (a forward needs --to), subject,
// the quoted original below the --body text, the original's attachments
// and, for replies, In-Reply-To and References; the options add to it
// (--subject replaces the subject). On success the server's final reply is
// printed. Exit codes: 0 sent, 1 failed, 2 bad arguments.

#include <QStringList>

namespace vm {

// args: the arguments after "--send".
int RunSendCommand(const QStringList& args);

} // namespace vm
