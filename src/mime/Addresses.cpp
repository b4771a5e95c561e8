#include "mime/Addresses.h"

namespace vm {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Appends text, folding runs of blanks into one space.
void AppendFolded(QByteArray& out, char c, bool& pendingBlank)
{
    if (IsBlank(c)) {
        pendingBlank = true;
        return;
    }
    if (pendingBlank && !out.isEmpty())
        out.append(' ');
    pendingBlank = false;
    out.append(c);
}

// Reads a display-name phrase: quoted strings lose their quotes and escapes,
// comments are dropped (their text is returned in comment), blanks folded.
QByteArray ReadPhrase(const QByteArray& s, QByteArray* comment)
{
    QByteArray out;
    bool pendingBlank = false;
    qsizetype i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '"') {
            ++i;
            if (pendingBlank && !out.isEmpty())
                out.append(' ');
            pendingBlank = false;
            while (i < s.size() && s[i] != '"') {
                if (s[i] == '\\' && i + 1 < s.size())
                    ++i;
                if (s[i] != '\r' && s[i] != '\n')
                    out.append(s[i]);
                ++i;
            }
            ++i; // closing quote (or end)
            continue;
        }
        if (c == '(') {
            int depth = 0;
            QByteArray text;
            do {
                if (s[i] == '\\' && i + 1 < s.size()) {
                    text.append(s[i + 1]);
                    i += 2;
                    continue;
                }
                if (s[i] == '(')
                    ++depth;
                else if (s[i] == ')')
                    --depth;
                if (!(s[i] == '(' && depth == 1) && !(s[i] == ')' && depth == 0))
                    text.append(s[i]);
                ++i;
            } while (i < s.size() && depth > 0);
            if (comment && comment->isEmpty())
                *comment = text.simplified();
            pendingBlank = true;
            continue;
        }
        AppendFolded(out, c, pendingBlank);
        ++i;
    }
    return out;
}

QByteArray StripComments(const QByteArray& s)
{
    QByteArray out;
    int depth = 0;
    bool quoted = false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\\' && i + 1 < s.size()) {
            if (depth == 0)
                out.append(s.mid(i, 2));
            ++i;
            continue;
        }
        if (!quoted && c == '(') {
            ++depth;
            continue;
        }
        if (!quoted && c == ')' && depth > 0) {
            --depth;
            continue;
        }
        if (depth == 0) {
            if (c == '"')
                quoted = !quoted;
            out.append(c);
        }
    }
    return out;
}

QByteArray CleanAddress(QByteArray addr)
{
    addr = StripComments(addr);
    // Source route "@a,@b:local@domain".
    if (addr.trimmed().startsWith('@')) {
        const qsizetype colon = addr.indexOf(':');
        if (colon >= 0)
            addr = addr.mid(colon + 1);
    }
    QByteArray out;
    for (char c : addr)
        if (!IsBlank(c))
            out.append(c);
    return out;
}

void AddMailbox(const QByteArray& piece, QList<MailAddress>& out)
{
    if (piece.trimmed().isEmpty())
        return;
    // Find '<' outside quotes and comments.
    int depth = 0;
    bool quoted = false;
    qsizetype lt = -1;
    for (qsizetype i = 0; i < piece.size() && lt < 0; ++i) {
        const char c = piece[i];
        if (c == '\\') {
            ++i;
        } else if (quoted) {
            if (c == '"')
                quoted = false;
        } else if (c == '"' && depth == 0) {
            quoted = true;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && depth > 0) {
            --depth;
        } else if (c == '<' && depth == 0) {
            lt = i;
        }
    }
    MailAddress a;
    if (lt >= 0) {
        a.name = ReadPhrase(piece.left(lt), nullptr);
        qsizetype gt = piece.indexOf('>', lt + 1);
        if (gt < 0)
            gt = piece.size();
        a.address = CleanAddress(piece.mid(lt + 1, gt - lt - 1));
        if (a.name.isEmpty() && gt < piece.size()) {
            // "<addr> (Name)"
            QByteArray comment;
            ReadPhrase(piece.mid(gt + 1), &comment);
            a.name = comment;
        }
    } else {
        QByteArray comment;
        ReadPhrase(piece, &comment);
        a.address = CleanAddress(piece);
        a.name = comment;
    }
    if (a.address.isEmpty() && a.name.isEmpty())
        return;
    out.append(a);
}

} // namespace

QList<MailAddress> ParseAddressList(const QByteArray& text)
{
    QList<MailAddress> out;
    QByteArray piece;
    int depth = 0;     // comment nesting
    int angle = 0;     // inside <...>
    bool quoted = false;
    bool inGroup = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            piece.append(c);
            piece.append(text[++i]);
            continue;
        }
        if (quoted) {
            if (c == '"')
                quoted = false;
            piece.append(c);
            continue;
        }
        if (depth > 0) {
            if (c == '(')
                ++depth;
            else if (c == ')')
                --depth;
            piece.append(c);
            continue;
        }
        switch (c) {
        case '"':
            quoted = true;
            break;
        case '(':
            depth = 1;
            break;
        case '<':
            ++angle;
            break;
        case '>':
            if (angle > 0)
                --angle;
            break;
        case ',':
            if (angle == 0) {
                AddMailbox(piece, out);
                piece.clear();
                continue;
            }
            break;
        case ':':
            if (angle == 0 && !inGroup) {
                // Group name: dropped; its members follow.
                inGroup = true;
                piece.clear();
                continue;
            }
            break;
        case ';':
            if (angle == 0 && inGroup) {
                AddMailbox(piece, out);
                piece.clear();
                inGroup = false;
                continue;
            }
            break;
        default:
            break;
        }
        piece.append(c);
    }
    AddMailbox(piece, out);
    return out;
}

QList<QByteArray> SplitAddressTexts(const QList<QByteArray>& rawTexts)
{
    QByteArray joined;
    for (const QByteArray& t : rawTexts) {
        joined += t;
        joined += "\r\n";
    }
    QList<QByteArray> out;
    for (const QByteArray& piece : joined.split(',')) {
        const QByteArray t = piece.trimmed();
        if (!t.isEmpty())
            out.append(t);
    }
    return out;
}

QString AddressFullText(const QString& name, const QByteArray& address)
{
    const QString addr = QString::fromUtf8(address);
    if (name.isEmpty())
        return addr;
    static const QString specials = QStringLiteral("()<>[]:;@\\,.\"");
    bool quote = false;
    for (QChar c : name)
        if (specials.contains(c))
            quote = true;
    QString n = name;
    if (quote) {
        n.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
        n.replace(QLatin1Char('"'), QLatin1String("\\\""));
        n = QLatin1Char('"') + n + QLatin1Char('"');
    }
    if (addr.isEmpty())
        return n;
    return n + QLatin1String(" <") + addr + QLatin1Char('>');
}

} // namespace vm
