#include "pop3/Pop3Listing.h"

#include "lang/Lang.h"

#include <algorithm>
#include <vector>

namespace vm {

namespace {

constexpr qsizetype kExcerptBytes = 60;

// A message number or a size: decimal digits only (no sign, no blank), read
// without overflow; false when the text is not that. Values past max come
// back as max + 1.
bool ReadNumber(const QByteArray& text, qint64 max, qint64& value)
{
    if (text.isEmpty())
        return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        if (value <= max)
            value = value * 10 + (c - '0');
    }
    if (value > max)
        value = max + 1;
    return true;
}

// Splits "number rest" at the first space.
bool SplitLine(const QByteArray& line, qint64 max, qint64& number, QByteArray& rest)
{
    const qsizetype space = line.indexOf(' ');
    if (space <= 0 || !ReadNumber(line.left(space), max, number))
        return false;
    rest = line.mid(space + 1);
    return true;
}

// Throws unless the number of line (read as number) is one of 1..count and
// not seen before.
void TakeNumber(const char* listing, int lineNo, const QByteArray& line, qint64 number, int count,
                std::vector<bool>& seen)
{
    const QString what = QString::fromLatin1(listing);
    const QString written = ServerLineExcerpt(line.left(line.indexOf(' ')));
    if (number < 1 || number > count)
        throw Pop3ProtocolError(Pop3ErrorText(
            "ListingNumberOutOfRange",
            "The server sent an invalid message list (%s): line %s names message %s, but the "
            "list holds %s messages.",
            {what, QString::number(lineNo), written, QString::number(count)}));
    if (seen[size_t(number)])
        throw Pop3ProtocolError(
            Pop3ErrorText("ListingNumberRepeated",
                          "The server sent an invalid message list (%s): line %s names message "
                          "%s again.",
                          {what, QString::number(lineNo), written}));
    seen[size_t(number)] = true;
}

} // namespace

bool IsStatusLine(const QByteArray& line)
{
    return line.startsWith("+OK") || line.startsWith("-ERR");
}

QList<QByteArray> UidsByNumber(const QList<QByteArray>& lines)
{
    const int count = int(lines.size());
    QList<QByteArray> ids(count);
    std::vector<bool> seen(size_t(count) + 1, false);
    for (int i = 0; i < count; ++i) {
        const QByteArray& line = lines.at(i);
        qint64 number = 0;
        QByteArray id;
        if (!SplitLine(line, count, number, id) || id.isEmpty())
            throw Pop3ProtocolError(Pop3ErrorText(
                "InvalidUidlLine",
                "The server sent an invalid message list (UIDL): line %s \"%s\" is not a message "
                "number followed by a unique id.",
                {QString::number(i + 1), ServerLineExcerpt(line)}));
        TakeNumber("UIDL", i + 1, line, number, count, seen);
        ids[number - 1] = id;
    }
    return ids;
}

QHash<int, std::int32_t> SizesByNumber(const QList<QByteArray>& lines, int messages)
{
    QHash<int, std::int32_t> sizes;
    sizes.reserve(lines.size());
    std::vector<bool> seen(size_t(std::max(messages, 0)) + 1, false);
    for (int i = 0; i < int(lines.size()); ++i) {
        const QByteArray& line = lines.at(i);
        qint64 number = 0;
        qint64 size = 0;
        QByteArray rest;
        bool ok = SplitLine(line, messages, number, rest);
        if (ok) {
            // RFC 1939 keeps the scan listing to number and size; tolerate
            // what a server adds after a blank.
            const qsizetype blank = rest.indexOf(' ');
            ok = ReadNumber(blank < 0 ? rest : rest.left(blank), INT32_MAX, size);
        }
        if (!ok)
            throw Pop3ProtocolError(Pop3ErrorText(
                "InvalidListLine",
                "The server sent an invalid message list (LIST): line %s \"%s\" is not a message "
                "number followed by a size.",
                {QString::number(i + 1), ServerLineExcerpt(line)}));
        TakeNumber("LIST", i + 1, line, number, messages, seen);
        sizes.insert(int(number), size > INT32_MAX ? -1 : std::int32_t(size));
    }
    return sizes;
}

QString Pop3ErrorText(const char* key, const char* english, const QStringList& args)
{
    return TextOr("ERROR", key, english, args);
}

QString InvalidStatusLineText(const QByteArray& line)
{
    return Pop3ErrorText("InvalidServerReply",
                         "The server answered \"%s\" where \"+OK\" or \"-ERR\" was due; "
                         "connection closed.",
                         {ServerLineExcerpt(line)});
}

QString ServerLineExcerpt(const QByteArray& line)
{
    if (line.size() <= kExcerptBytes)
        return QString::fromUtf8(line);
    return QString::fromUtf8(line.left(kExcerptBytes)) + QStringLiteral("...");
}

} // namespace vm
