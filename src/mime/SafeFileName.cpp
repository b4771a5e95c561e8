#include "mime/SafeFileName.h"

#include <algorithm>

namespace vm {

QString SafeFileName(const QString& name)
{
    QString s = name;
    const qsizetype slash = std::max(s.lastIndexOf(QLatin1Char('/')), s.lastIndexOf(QLatin1Char('\\')));
    if (slash >= 0)
        s = s.mid(slash + 1);
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            out.append(c);
            out.append(s[++i]);
            continue;
        }
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || c.isSurrogate() ||
            u == 0x2028 || u == 0x2029 || u == 0x202E || u == 0xFEFF ||
            QStringLiteral(":*?\"<>|").contains(c))
            out.append(QLatin1Char('_'));
        else
            out.append(c);
    }
    // No leading dots or blanks (no "..", no hidden files), no trailing dots
    // or blanks (Windows drops them and they hide the extension).
    qsizetype b = 0;
    while (b < out.size() && (out[b] == QLatin1Char('.') || out[b].isSpace()))
        ++b;
    qsizetype e = out.size();
    while (e > b && (out[e - 1] == QLatin1Char('.') || out[e - 1].isSpace()))
        --e;
    out = out.mid(b, e - b);
    constexpr qsizetype kMax = 200;
    if (out.size() > kMax) {
        const qsizetype dot = out.lastIndexOf(QLatin1Char('.'));
        const qsizetype extLen = (dot > 0 && out.size() - dot <= 16) ? out.size() - dot : 0;
        qsizetype keep = kMax - extLen;
        if (out[keep - 1].isHighSurrogate())
            --keep;
        out = out.left(keep) + out.right(extLen);
    }
    return out;
}

} // namespace vm
