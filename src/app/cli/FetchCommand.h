#pragma once
// "velmora --fetch ACCOUNT UIDL...": retrieves the given messages whole,
// replacing their headers-only records in place. Messages fetched before a
// failure stay fetched; messages gone from the server are passed over.

#include <QStringList>

namespace vm {

int RunFetchCommand(const QStringList& args);

} // namespace vm
