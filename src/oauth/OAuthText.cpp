#include "oauth/OAuthText.h"

#include "lang/Lang.h"

namespace vm {

QString OAuthText(const char* key, const char* english, const QStringList& args)
{
    const QString section = QStringLiteral("OAUTH");
    const QString k = QString::fromLatin1(key);
    if (!LangText(section, k).isEmpty())
        return LangFormat(section, k, args);
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
