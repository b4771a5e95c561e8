#pragma once
// Velmora's charset table (ids 1-27, 0 = not recognised), RFC 2047 encoded
// words, and the conversions of header bytes to Unicode.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace vm {

constexpr int kCharsetCount = 27;
constexpr int kCharsetUtf8 = 12;

// Id of a charset name (trimmed, compared without letter case); 0 when the
// name is not one of the table's accepted names.
int CharsetIdFromName(const QByteArray& name);
int CharsetIdFromName(const QString& name);
// Canonical name of an id ("ISO-8859-1", "Windows1252", ...); empty for ids
// outside 1-27.
QString CharsetName(int id);

// Bytes to Unicode with the table conversion of the given id. Id 0 stands for
// the incoming default (DefaultIncomingCharset()); ids outside the table and
// id 12 reached through the default convert with the system code page, which
// is UTF-8 here (invalid sequences become U+FFFD).
QString BytesToUnicode(const QByteArray& bytes, int id);

// The charset id of the first of the known encoded-word markers found in the
// text (a fixed order of markers decides, not the position in the text); 0 if
// none or the text is shorter than 9 characters.
int EncodedWordCharset(const QByteArray& text);

// Bytes in the named charset to Unicode: table charsets by id, other names
// that ICU knows (Shift_JIS, Big5, ISO-2022-JP, ...) through ICU, and
// anything else with the incoming default.
QString DecodeWithCharset(const QByteArray& bytes, const QByteArray& charsetName);
// True when DecodeWithCharset turns every ASCII byte into the character of
// the same code under this charset name: all names but the UTF-7, UTF-16,
// UTF-32 and ISO-2022 families.
bool KeepsAscii(const QByteArray& charsetName);
// True when a search for a phrase of ASCII characters in the text that
// DecodeWithCharset makes of these bytes may look at the bytes instead:
// every ASCII byte becomes that character, every other byte belongs to a
// character beyond ASCII (none is dropped, as invalid UTF-8 would be), and
// none of those characters has ASCII in its lower case or case folding
// (LowersOrFoldsToAscii). Beyond ASCII only the table charsets, UTF-8 and
// the incoming default are judged; other names give false.
bool AsciiSearchableAsBytes(QByteArrayView bytes, const QByteArray& charsetName);
// Whether a character beyond ASCII has ASCII in its lower case
// (QString::toLower: U+0130 becomes "i" and a combining dot, the Kelvin sign
// "k") or in its case folding (the long s folds to "s").
bool LowersOrFoldsToAscii(char32_t c);
// True if the name is a table charset or a charset ICU can decode.
bool IsKnownCharset(const QByteArray& charsetName);

// Decodes a header text to Unicode word by word: every RFC 2047 encoded word
// (B or Q form) with its own charset (adjacent words of one charset are joined
// first, so a character split between them survives), the text around them
// as UTF-8 when its 8-bit bytes are valid UTF-8, else with fallbackCharset
// (see DecodeWithCharset; empty = incoming default). Blanks between two
// encoded words are dropped. Takes time linear in the length of the text.
QString DecodeHeaderText(const QByteArray& raw, const QByteArray& fallbackCharset);

// Decodes the encoded words of a header text to their bytes without any
// charset conversion (the charsets are forgotten).
QByteArray DecodeEncodedWordsToBytes(const QByteArray& raw);

// The id used when a text carries no charset information (the program's
// DefIncomingEncoding setting, handed down when the settings are loaded).
int DefaultIncomingCharset();
void SetDefaultIncomingCharset(int id);

// Decoding with the system's 8-bit code page (UTF-8; invalid sequences
// become U+FFFD).
QString SystemCodePageToUnicode(const QByteArray& bytes);

} // namespace vm
