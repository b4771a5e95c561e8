#pragma once
// The key that protects the account block (passwords included) of mailbox
// files: 32 bytes built once at start from a fixed 10-character key text and
// a fixed table of 10 positions. Files written with another key cannot be read.

#include <QByteArray>

#include <array>

namespace vm {

// Builds the key from a 10-character text and a table of 10 positions
// (counting from 1): the text is rearranged so that character i is the
// text's character at table entry i, then expanded to 32 bytes: for
// i = 1, 2, ... (wrapping after 10) and for each i, k = 1..10 skipping i,
// the low 8 bits of code(k) * code(i) are emitted until 32 bytes exist.
QByteArray MakeMailboxKey(const QByteArray& keyText, const std::array<int, 10>& positions);

// Builds the program's key into the process-wide buffer (start-up step).
void BuildMailboxKey();

// The process-wide key; built on first use when BuildMailboxKey has not run.
const QByteArray& MailboxKey();

} // namespace vm
