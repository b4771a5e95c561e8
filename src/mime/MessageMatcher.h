#pragma once
// Matching message records against a phrase: the rules the find window and
// `velmora --list --find` share. Nothing here touches a widget.

#include <QString>

namespace vm {

class MessageRecord;

// What a search looks for and where.
struct MessageFilter
{
    enum Field { SenderName = 1, SenderAddress = 2, Subject = 4, Body = 8 };
    int fields = 0; // set of Field bits
    QString phrase; // trimmed
    bool caseSensitive = false;
    bool wholeWords = false;
    // Off: a message with the new flag always matches (it is never filtered
    // out); on: new messages are tested like every other.
    bool filterNew = true;

    // A filter is active when it names a field and a phrase.
    bool Active() const { return fields != 0 && !phrase.isEmpty(); }
    // Back to no fields, no phrase, case and whole words off.
    void Reset();
};

// True for the characters that separate words: codes 0-47, 58-64, 91-96 and
// 123-127. Everything else, also every character above 127, is part of a word.
bool IsWordSeparator(QChar c);

// Whether needle occurs in text. With wholeWords an occurrence counts only
// when it begins at the text's start, after a separator or with one, and
// ends at the text's end, before a separator or with one.
bool PhraseOccurs(const QString& text, const QString& needle, bool wholeWords);

// The readable text of an HTML document: tags, comments and the contents of
// script and style elements removed, character references decoded. Tags
// that format text inside a word (b, i, span, font, a ...) vanish; every
// other tag stands for a blank, so words on either side stay apart.
QString HtmlToSearchText(const QString& html);

// The readable text of an HTML document as lines, the way a plain-text
// reader would want it: tags, comments and the contents of script, style and
// title elements removed, character references decoded, white space folded
// to single blanks outside pre elements, a line break for each br and at the
// edges of block elements (an empty line around paragraphs and headings),
// blanks at line ends dropped, at most one empty line in a row and none at
// the start or the end. Lines are separated by LF.
QString HtmlToPlainText(const QString& html);

// Whether the record matches. The fields are tested in the order subject,
// sender name, sender address, body. The body is tested only for a whole
// message, on its text parts one by one (HTML parts by their text, not their
// tags); parts not parsed yet are parsed for the test alone and released
// after it, so the record keeps what it held. A record not parsed yet has
// its headers parsed.
bool MessageMatches(MessageRecord& message, const MessageFilter& filter);

} // namespace vm
