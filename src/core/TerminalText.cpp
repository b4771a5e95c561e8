#include "core/TerminalText.h"

namespace vm {

bool IsUnsafeOnTerminal(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x20)
        return u != u'\t' && u != u'\n';
    if (u >= 0x7F && u <= 0x9F)
        return true;
    return u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) ||
           (u >= 0x2066 && u <= 0x2069) || u == 0x2028 || u == 0x2029;
}

QString TerminalSafeText(const QString& text)
{
    QString out = text;
    for (QChar& c : out)
        if (IsUnsafeOnTerminal(c))
            c = QChar(QChar::ReplacementCharacter);
    return out;
}

QString TerminalField(const QString& text)
{
    QString out = text;
    for (QChar& c : out)
        if (c == u'\t' || c == u'\r' || c == u'\n')
            c = u' ';
    return TerminalSafeText(out);
}

QString TerminalSafeJson(const QString& json)
{
    QString out;
    out.reserve(json.size());
    for (const QChar c : json) {
        if (IsUnsafeOnTerminal(c))
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

} // namespace vm
