#pragma once
// "velmora --remove-account ACCOUNT": removes the account and its mailbox file.

#include <QStringList>

namespace vm {

int RunRemoveAccountCommand(const QStringList& args);

} // namespace vm
