#pragma once
// The address book for scripts:
//   velmora --contacts [--json]            prints every entry
//   velmora --import-contacts FILE.vcf     adds the cards of a vCard file
//   velmora --export-contacts FILE.vcf [--vcard3]   writes every entry as vCard
// Importing writes the address book, so it takes the data directory's lock
// like every writing command.

#include <QStringList>

namespace vm {

int RunContactsCommand(const QStringList& args);
int RunImportContactsCommand(const QStringList& args);
int RunExportContactsCommand(const QStringList& args);

} // namespace vm
