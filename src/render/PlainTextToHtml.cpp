#include "render/PlainTextToHtml.h"

#include <cstring>

namespace vm {

namespace {

// The separator written between two plain text parts; kept as it is.
constexpr char kSeparator[] = "<br /><hr></hr><br />";

bool IsDelimiter(char c)
{
    switch (c) {
    case '<': case '>': case ' ': case '(': case ')': case ',': case ';': case '!':
    case '$': case '^': case '*': case '{': case '}': case '"': case '\'': case '~':
    case '`': case '|': case '\n': case '\r': case '\t':
        return true;
    default:
        return false;
    }
}

// Whether the three characters at s occur inside "&gt&lt": "&gt", "gt&",
// "t&l" or "&lt".
bool IsEntityBoundary(const char* s)
{
    switch (s[0]) {
    case '&':
        return (s[1] == 'g' || s[1] == 'l') && s[2] == 't';
    case 'g':
        return s[1] == 't' && s[2] == '&';
    case 't':
        return s[1] == '&' && s[2] == 'l';
    default:
        return false;
    }
}

bool StartsWithAt(const QByteArray& text, qsizetype at, const char* prefix, qsizetype length)
{
    return text.size() - at >= length && std::memcmp(text.constData() + at, prefix, length) == 0;
}

bool IsWebStart(const QByteArray& text, qsizetype at)
{
    const char c = text[at];
    if (c == 'w')
        return StartsWithAt(text, at, "www.", 4);
    if (c == 'h')
        return StartsWithAt(text, at, "http://", 7) || StartsWithAt(text, at, "https://", 8);
    return false;
}

QByteArray Escaped(const QByteArray& line)
{
    qsizetype extra = 0;
    for (const char c : line)
        extra += c == '&' ? 3 : (c == '<' || c == '>') ? 2 : 0;
    if (extra == 0)
        return line;
    QByteArray out;
    out.reserve(line.size() + extra);
    for (const char c : line) {
        if (c == '&')
            out += "&amp";
        else if (c == '<')
            out += "&lt";
        else if (c == '>')
            out += "&gt";
        else
            out += c;
    }
    return out;
}

} // namespace

QByteArray ConvertPlainLine(const QByteArray& line)
{
    if (line == kSeparator)
        return line;
    const QByteArray text = Escaped(line);
    const char* const s = text.constData();
    const qsizetype n = text.size();

    QByteArray out;
    out.reserve(n + 6);
    // text[done..] is not in out yet. A link written into the line ends with
    // "</a>", whose ">" is a delimiter, so a search back from a later "@"
    // never reaches before done.
    qsizetype done = 0;
    qsizetype p = 0;
    while (p < n) {
        const bool web = IsWebStart(text, p);
        if (!web && s[p] != '@') {
            ++p;
            continue;
        }
        qsizetype start = p;
        if (!web) {
            start = done;
            for (qsizetype q = p - 1; q >= done; --q) {
                if (IsDelimiter(s[q]) || (q - 2 >= done && IsEntityBoundary(s + q - 2))) {
                    start = q + 1;
                    break;
                }
            }
        }
        qsizetype end = n;
        for (qsizetype r = p + 1; r < n; ++r) {
            if (IsDelimiter(s[r]) || (r + 3 <= n && IsEntityBoundary(s + r))) {
                end = r;
                break;
            }
        }
        const QByteArray linkText = text.mid(start, end - start);
        QByteArray target = linkText;
        target.replace("&amp", "&");
        if (!web)
            target.prepend("mailto:");
        else if (!target.contains("http://") && !target.contains("https://"))
            target.prepend("http://");

        out.append(s + done, start - done);
        out += "<a href=\"";
        out += target;
        out += "\">";
        out += linkText;
        out += "</a>";
        done = end;
        p = end;
    }
    out.append(s + done, n - done);
    out += "<br />";
    return out;
}

} // namespace vm
