#pragma once
// "velmora --list ACCOUNT [--json]": the stored message list of an account,
// one message per line (UIDL, date in ISO 8601, size, holding state, new
// flag, decoded sender, decoded subject, tab-separated), or one JSON array.
// Reads only: it may run while a Velmora window runs.

#include <QStringList>

namespace vm {

int RunListCommand(const QStringList& args);

} // namespace vm
