#pragma once
// Plain text lines as HTML for the message page: markup escaped, web and
// mail addresses turned into links, a line break after every line.

#include <QByteArray>

namespace vm {

// One line of plain text as HTML: escapes "&", "<", ">" (as "&amp", "&lt",
// "&gt", without semicolons), turns web and mail addresses into links and
// appends "<br />". The part separator line stays as it is.
//
// Links: a web link starts where "www.", "http://" or "https://" begins
// (letter case as written); a mail link is found at an "@" and starts after
// the nearest delimiter or entity boundary before it. Both end before the
// next delimiter or entity boundary. Delimiters are the characters of
// <> (),;!$^*{}"'~`| and LF, CR, TAB; an entity boundary is three characters
// found inside "&gt&lt". The link's target is its text with "&amp" turned
// back into "&", with "http://" in front of a web address that names neither
// "http://" nor "https://", and "mailto:" in front of a mail address.
// Takes time linear in the length of the line.
QByteArray ConvertPlainLine(const QByteArray& line);
// The same, appended to out.
void AppendPlainLineAsHtml(QByteArray& out, const QByteArray& line);

} // namespace vm
