#include "oauth/OAuthText.h"

#include "lang/Lang.h"

namespace vm {

QString OAuthText(const char* key, const char* english, const QStringList& args)
{
    const QString section = QStringLiteral("OAUTH");
    const QString k = QString::fromLatin1(key);
    // Formatted with its arguments at once: a text with placeholders looked
    // up without them counts as missing.
    const QString translated = LangFormat(section, k, args);
    if (!translated.isEmpty())
        return translated;
    QString text = QString::fromUtf8(english);
    qsizetype from = 0;
    for (const QString& a : args) {
        const qsizetype at = text.indexOf(QLatin1String("%s"), from);
        if (at < 0)
            break;
        text.replace(at, 2, a);
        from = at + a.size();
    }
    return text;
}

} // namespace vm
