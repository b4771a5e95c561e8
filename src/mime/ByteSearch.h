#pragma once
// Scanning bytes quickly: the body search and the scan of a message's parts
// look for short patterns in many kilobytes of text.

#include <QByteArrayView>

namespace vm {

// Position of the first occurrence of pattern in text at or after from, or
// -1. An empty pattern is found at from (when from is within the text).
// With foldCase, the letters A-Z of the text also match a-z of the pattern
// (which should then hold no capital letters).
qsizetype FindBytes(QByteArrayView text, qsizetype from, QByteArrayView pattern,
                    bool foldCase = false);

// True when every byte is below 0x80.
bool IsAsciiBytes(QByteArrayView bytes);

// Position of the first byte at or after from that is 0x80 or above, or the
// size of the text.
qsizetype FindHighByte(QByteArrayView text, qsizetype from);

// Position of the first byte at or after from that is a or b, or the size
// of the text.
qsizetype FindEitherByte(QByteArrayView text, qsizetype from, char a, char b);

// The value of a hexadecimal digit (either case), or -1 for any other byte.
constexpr int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace vm
