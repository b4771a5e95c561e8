#pragma once
// "velmora --send": sends one message through an account's SMTP settings,
// with the same building and sending path as the compose window.
//
//   --send --account ACCOUNT --to ADDR [--cc ADDR] [--bcc ADDR] --subject TEXT
//          (--body TEXT | --body-file FILE) [--html] [--charset NAME]
//          [--priority 0-4] [--receipt] [--attach FILE]...
//
// --to, --cc, --bcc and --attach may be repeated; ADDR is an address or
// "Name <address>". The charset is UTF-8 unless --charset names another of
// the program's charsets. On success the server's final reply is printed.
// Exit codes: 0 sent, 1 failed, 2 bad arguments.

#include <QStringList>

namespace vm {

// args: the arguments after "--send".
int RunSendCommand(const QStringList& args);

} // namespace vm
