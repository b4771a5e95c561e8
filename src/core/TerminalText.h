#pragma once
// Text printed on a terminal by the commands without a display. Subjects,
// sender names and server replies come from strangers: a control character
// among them could move the cursor, rewrite what was printed before, retitle
// the window or, with bidirectional formatting, make the line read other
// than it is.

#include <QString>

namespace vm {

// True for the characters a terminal must not receive from a text: C0
// controls other than TAB and LF, DEL, C1 controls (U+0080-U+009F), the
// bidirectional formatting characters (U+061C, U+200E, U+200F,
// U+202A-U+202E, U+2066-U+2069) and the line and paragraph separators
// U+2028 and U+2029.
bool IsUnsafeOnTerminal(QChar c);

// The text with every character IsUnsafeOnTerminal names replaced by U+FFFD.
// Every text the commands print goes through it.
QString TerminalSafeText(const QString& text);

// One field of a tab-separated output line: TerminalSafeText, with TAB, CR
// and LF also made blanks, so a field can neither start another field nor
// another line.
QString TerminalField(const QString& text);

// A JSON document's text with those characters written as \uXXXX escapes
// instead: the document stays valid JSON with the same values, and
// TerminalSafeText leaves it as it is. Only for text from QJsonDocument,
// where such characters can only stand inside strings (TAB and LF, which
// the writer only uses between values, stay as they are).
QString TerminalSafeJson(const QString& json);

} // namespace vm
