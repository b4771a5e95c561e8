#pragma once
// "velmora --delete ACCOUNT UIDL...": removes the given messages on the
// server in one connection. All or nothing: when any step fails the server
// keeps every message and the mailbox every record.

#include <QStringList>

namespace vm {

int RunDeleteCommand(const QStringList& args);

} // namespace vm
