#pragma once
// Named fields that follow the checksum of an account block.
//
// The account block of a mailbox file ends with its checksum and padding up
// to a multiple of 8 bytes, and a reader ignores every byte after the
// checksum. Settings that the original fields cannot hold (the OAuth 2.0
// sign-in) go there, so a file that carries them still loads in a program
// that does not know them, with every original field intact:
//
//   magic      4 bytes "VMX1"
//   fields     pairs of text fields (uint16 length, bytes): name, value
//   end        an empty name (a zero uint16)
//   checksum   uint8, the sum of every byte from the magic to the end mark
//              modulo 256
//   padding    as before, up to the next multiple of 8
//
// An account without such settings writes no extension: its block is byte
// for byte what it always was. Padding of files written without the
// extension never starts with the magic (it is at most 7 bytes long).

#include <QByteArray>
#include <QList>
#include <QPair>

namespace vm {

class ByteReader;

using ExtensionFields = QList<QPair<QByteArray, QByteArray>>;

// Appends the extension holding fields to block (after its checksum). Nothing
// is appended for an empty list. A name or value longer than a text field
// is refused with FileWriteError rather than cut.
void AppendBlockExtension(QByteArray& block, const ExtensionFields& fields);

// Reads the extension where in stands right after the checksum. Padding
// without the magic gives an empty list. A damaged extension (a field
// running past the block, no end mark, a wrong checksum) throws
// MailboxHeaderError, like a damaged account block.
ExtensionFields ReadBlockExtension(ByteReader& in);

} // namespace vm
