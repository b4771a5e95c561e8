#pragma once
// A mailbox file's bytes ready to be written, and the write itself, which
// touches nothing but the file and so may run on any thread.

#include <QList>
#include <QString>

#include "model/BytePiece.h"

namespace vm {

// A mailbox file as it is to be written: its path and its bytes, the
// message texts shared with the records (see ByteWriter's image mode), so
// it can be written later or on another thread whatever happens to the
// account meanwhile.
struct MailboxFileImage
{
    QString path;
    QList<BytePiece> pieces;
};

// Writes image to its path: a new owner-only temporary file, renamed over
// the old file only when every byte is on the disk. Touches nothing but the
// file, so any thread may call it. Throws FileCreateError / FileWriteError
// naming the file and the system's reason; the old file is then untouched.
void WriteMailboxFile(const MailboxFileImage& image);

} // namespace vm
