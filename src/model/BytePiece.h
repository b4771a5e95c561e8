#pragma once
// One piece of a file image (see ByteWriter's image mode): the first length
// bytes of bytes. Large pieces share the buffer they came from (implicitly
// shared, so the image stays valid whatever happens to the original), small
// ones are copies.

#include <QByteArray>

namespace vm {

struct BytePiece
{
    QByteArray bytes;
    qsizetype length = 0;
};

} // namespace vm
