#include "render/PlainTextToHtml.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace vm {

namespace {

// The separator written between two plain text parts; kept as it is.
constexpr char kSeparator[] = "<br /><hr></hr><br />";

// The characters that end a link: <> (),;!$^*{}"'~`| and LF, CR, TAB.
constexpr std::array<bool, 256> kDelimiters = [] {
    std::array<bool, 256> table{};
    for (const char c : std::string_view("<> (),;!$^*{}\"'~`|\n\r\t"))
        table[static_cast<unsigned char>(c)] = true;
    return table;
}();

bool IsDelimiter(char c)
{
    return kDelimiters[static_cast<unsigned char>(c)];
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

bool StartsWithAt(const char* s, qsizetype n, qsizetype at, const char* prefix, qsizetype length)
{
    return n - at >= length && std::memcmp(s + at, prefix, size_t(length)) == 0;
}

bool IsWebStart(const char* s, qsizetype n, qsizetype at)
{
    const char c = s[at];
    if (c == 'w')
        return StartsWithAt(s, n, at, "www.", 4);
    if (c == 'h')
        return StartsWithAt(s, n, at, "http://", 7) || StartsWithAt(s, n, at, "https://", 8);
    return false;
}

bool Contains(const char* s, qsizetype n, const char* what, qsizetype length)
{
    for (qsizetype i = 0; i + length <= n; ++i)
        if (s[i] == what[0] && std::memcmp(s + i, what, size_t(length)) == 0)
            return true;
    return false;
}

// Appends line with "&", "<" and ">" written as "&amp", "&lt" and "&gt".
void AppendEscaped(QByteArray& out, const QByteArray& line)
{
    const char* s = line.constData();
    const qsizetype n = line.size();
    qsizetype from = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = s[i];
        if (c != '&' && c != '<' && c != '>')
            continue;
        out.append(s + from, i - from);
        out += c == '&' ? "&amp" : c == '<' ? "&lt" : "&gt";
        from = i + 1;
    }
    out.append(s + from, n - from);
}

// Appends a link's text with every "&amp" turned back into "&".
void AppendTarget(QByteArray& out, const char* s, qsizetype n)
{
    qsizetype from = 0;
    for (qsizetype i = 0; i + 4 <= n; ++i) {
        if (s[i] == '&' && s[i + 1] == 'a' && s[i + 2] == 'm' && s[i + 3] == 'p') {
            out.append(s + from, i + 1 - from);
            from = i + 4;
            i += 3;
        }
    }
    out.append(s + from, n - from);
}

} // namespace

void AppendPlainLineAsHtml(QByteArray& out, const QByteArray& line)
{
    if (line == kSeparator) {
        out += line;
        return;
    }
    const bool plain = std::none_of(line.begin(), line.end(),
                                    [](char c) { return c == '&' || c == '<' || c == '>'; });
    // The escaped line; its room is kept from line to line.
    thread_local QByteArray room;
    if (!plain) {
        room.resize(0);
        AppendEscaped(room, line);
    }
    const QByteArray& escaped = plain ? line : room;
    const char* const s = escaped.constData();
    const qsizetype n = escaped.size();

    // escaped[done..] is not in out yet. A link written into the line ends
    // with "</a>", whose ">" is a delimiter, so a search back from a later
    // "@" never reaches before done.
    qsizetype done = 0;
    qsizetype p = 0;
    while (p < n) {
        const char c = s[p];
        if (c != 'w' && c != 'h' && c != '@') {
            ++p;
            continue;
        }
        const bool web = c != '@';
        if (web && !IsWebStart(s, n, p)) {
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
        const char* text = s + start;
        const qsizetype length = end - start;
        out.append(s + done, start - done);
        out += "<a href=\"";
        // "&amp" turned into "&" neither makes nor breaks "http://" or
        // "https://", so the link text tells whether the target names one.
        if (!web)
            out += "mailto:";
        else if (!Contains(text, length, "http://", 7) && !Contains(text, length, "https://", 8))
            out += "http://";
        AppendTarget(out, text, length);
        out += "\">";
        out.append(text, length);
        out += "</a>";
        done = end;
        p = end;
    }
    out.append(s + done, n - done);
    out += "<br />";
}

QByteArray ConvertPlainLine(const QByteArray& line)
{
    QByteArray out;
    out.reserve(line.size() + line.size() / 4 + 16);
    AppendPlainLineAsHtml(out, line);
    return out;
}

} // namespace vm
