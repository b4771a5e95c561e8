#include "mime/SafeFileName.h"

#include <algorithm>

namespace vm {

QString SafeFileName(const QString& name)
{
    QString s = name;
    const qsizetype slash =
        std::max(s.lastIndexOf(QLatin1Char('/')), s.lastIndexOf(QLatin1Char('\\')));
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
        // Control characters, line and paragraph separators, and every
        // bidirectional format character (which can make "txt.exe" read as
        // "exe.txt").
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || c.isSurrogate() || u == 0x061C ||
            u == 0x200E || u == 0x200F || u == 0x2028 || u == 0x2029 ||
            (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069) || u == 0xFEFF ||
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
    // At most 200 characters and 240 bytes of UTF-8 (file systems allow 255
    // bytes; the rest leaves room for " (n)" and similar additions).
    constexpr qsizetype kMaxChars = 200;
    constexpr qsizetype kMaxBytes = 240;
    if (out.size() <= kMaxChars && out.toUtf8().size() <= kMaxBytes)
        return out;
    const qsizetype dot = out.lastIndexOf(QLatin1Char('.'));
    const QString ext = (dot > 0 && out.size() - dot <= 16) ? out.mid(dot) : QString();
    QString base = out.left(out.size() - ext.size());
    const qsizetype extBytes = ext.toUtf8().size();
    while (!base.isEmpty() &&
           (base.size() + ext.size() > kMaxChars || base.toUtf8().size() + extBytes > kMaxBytes)) {
        base.chop(1);
        if (!base.isEmpty() && base.back().isHighSurrogate())
            base.chop(1);
    }
    return base + ext;
}

} // namespace vm
