#pragma once
// "velmora --add-account --login LOGIN --server HOST [options]": creates an
// account with the account window's validation and defaults, saves its
// mailbox file at once and prints its display name. Passwords are read from
// standard input, one line per --password-stdin / --smtp-password-stdin, in
// the order the options are given.

#include <QStringList>

namespace vm {

int RunAddAccountCommand(const QStringList& args);

} // namespace vm
