#pragma once
// "velmora --save ACCOUNT UIDL [FILE|DIR]": writes one stored message as a
// ".eml" file, the raw message byte for byte when it is held whole, else its
// header lines. Without FILE|DIR the file goes into the current folder; into
// a folder (DIR, or the current one) it is named after the subject
// (MessageFileName) and never replaces a file: a taken name gets " (1)",
// " (2)", ... before ".eml". A FILE given by name is replaced. Prints the
// path written.
//
// "velmora --save-attachments ACCOUNT UIDL DIR": writes every attachment of a
// whole message into the existing folder DIR under its plain name
// (AttachmentFileName), never over a file (" (1)", ... as above), and prints
// each path written. A message held as headers only is an error (exit 1)
// naming --fetch.
//
// Both only read the mailbox file: they may run while a Velmora window runs.

#include <QStringList>

namespace vm {

int RunSaveCommand(const QStringList& args);
int RunSaveAttachmentsCommand(const QStringList& args);

} // namespace vm
