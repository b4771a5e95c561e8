#pragma once
// The encoders of the MIME writer: encoded words (RFC 2047), quoted strings
// and file name parameters (RFC 2231), quoted-printable, base64 lines and
// the folding of header lines.

#include <QByteArray>
#include <QByteArrayList>

namespace vm {

// Replaces CR and LF (and other control bytes except TAB) by blanks, so that a
// typed text can never end the header line it is written into.
QByteArray StripLineBreaks(const QByteArray& text);

// RFC 2047 encoding of the stretch from the first to the last word that needs
// it; words are separated by blanks and TABs. specials: further bytes that
// force a word to be encoded (display names). Encoded words are at most 75
// characters and are joined by CR LF and one blank. A UTF-8 character is never
// split across two encoded words. CR and LF in the text become blanks.
QByteArray EncodeHeaderWords(const QByteArray& text, const QByteArray& charset, bool useB,
                             const QByteArray& specials = {});

// Quoted-printable of body lines: each line encoded by itself, output lines
// within 76 characters, each ended by CR LF; a full stop that would begin an
// output line is written "=2E", a blank or TAB ending a line "=20" / "=09".
QByteArray EncodeQuotedPrintable(const QByteArrayList& lines);

// Base64 in lines of 76 characters, each ended by CR LF.
QByteArray EncodeBase64Lines(const QByteArray& data);

// Folds one header line ("Name: value", may already hold CR LF breaks) at
// blanks and TABs outside double quotes so that lines stay within 78
// characters where possible; removes white space at the end of every line.
// The result has no final CR LF.
QByteArray FoldHeaderLine(const QByteArray& line);

// A quoted string: the text in double quotes, with backslashes before
// backslashes and double quotes.
QByteArray QuoteString(const QByteArray& s);

// Whether every byte of s is printable ASCII (32..126).
bool IsPrintableAscii(const QByteArray& s);

// The lines of a "name" / "filename" parameter, eight blanks in front of each,
// joined by ";" CR LF. Printable ASCII goes out as a quoted string; anything
// else as RFC 2231 UTF-8 with continuations keeping lines within the fold width.
QByteArray FileNameParameter(const QByteArray& param, const QByteArray& fileName);

} // namespace vm
