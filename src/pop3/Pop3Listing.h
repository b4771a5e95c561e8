#pragma once
// What a POP3 server says, read strictly: status lines and the two listings
// ("UIDL", and "LIST" without an argument).
//
// A status line starts with "+OK" or "-ERR". Anything else is no answer at
// all: the server is out of step (or not a POP3 server), so whatever it
// sends next cannot be taken as the reply to the next command. Unlike
// "-ERR", such a line never says anything about one message; it ends the
// session (Pop3ProtocolError).
//
// Listings are read by the message number at the start of each line, never
// by the line's position: one stray line (garbage, a repeated line, a line
// without a number) would otherwise move every later id onto its
// neighbour's message for good, and a later "DELE" of such an id would
// remove a message the user never saw.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

#include "net/NetErrors.h"

namespace vm {

// The server broke the protocol: a status line that is neither "+OK" nor
// "-ERR", or a listing whose lines do not match the message numbers. The
// session ends with it; no stored message is judged by it.
class Pop3ProtocolError : public NetworkError
{
public:
    using NetworkError::NetworkError;
    QString ClassName() const override { return QStringLiteral("Pop3ProtocolError"); }
};

// True for a status line the protocol allows: "+OK..." or "-ERR...".
bool IsStatusLine(const QByteArray& line);

// The unique ids of a UIDL listing by message number: element n - 1 is the
// id of message n. Each line is a message number, one space and the id (the
// rest of the line, blanks included).
//
// Every operation lists right after the login, before any "DELE" of the
// session. RFC 1939 numbers the messages 1..n when the session starts (the
// maildrop is locked for it) and UIDL lists every message not marked
// deleted, so a fresh listing of n lines names each number of 1..n exactly
// once, in whatever order. (Numbers may have gaps only after a "DELE" in
// the same session, which never comes first here.)
//
// Throws Pop3ProtocolError naming the first line that is not a number, a
// space and a non-empty id, or whose number lies outside 1..(number of
// lines) or repeats an earlier one.
QList<QByteArray> UidsByNumber(const QList<QByteArray>& lines);

// The sizes of a LIST listing by message number. messages is how many
// messages UIDL listed in the same session: each line must be a number of
// 1..messages that no other line has, one space and a size (digits; more
// text may follow after a blank). A message may be missing; its size is
// then asked for alone. A size too large for 32 bits is -1 (unknown, so
// never small enough to be fetched whole by size). Throws
// Pop3ProtocolError as UidsByNumber does.
QHash<int, std::int32_t> SizesByNumber(const QList<QByteArray>& lines, int messages);

// A language text of the ERROR section (English when no language file has
// it) with each "%s" replaced by the next argument.
QString Pop3ErrorText(const char* key, const char* english, const QStringList& args = {});

// What Pop3ProtocolError says of a status line that is neither "+OK" nor
// "-ERR".
QString InvalidStatusLineText(const QByteArray& line);

// The start of a line the server sent, for an error message: at most 60
// bytes, "..." when cut.
QString ServerLineExcerpt(const QByteArray& line);

} // namespace vm
