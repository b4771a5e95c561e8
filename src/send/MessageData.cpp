#include "send/MessageData.h"

#include <QUrl>

namespace vm {

namespace {

QString Decoded(const QString& text)
{
    return QUrl::fromPercentEncoding(text.toUtf8());
}

void AddAddresses(MessageData& data, const QString& list, int type)
{
    for (const QString& a : Decoded(list).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString address = a.trimmed();
        if (!address.isEmpty())
            data.recipients.append(EmailAddress(QString(), address, type));
    }
}

} // namespace

MessageData MessageFromMailto(const QString& link)
{
    MessageData data;
    const qsizetype q = link.indexOf(QLatin1Char('?'));
    AddAddresses(data, link.left(q < 0 ? link.size() : q), 1);
    if (q < 0)
        return data;
    for (const QString& field : link.mid(q + 1).split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype eq = field.indexOf(QLatin1Char('='));
        const QString name = Decoded(field.left(eq < 0 ? field.size() : eq)).toLower();
        const QString value = eq < 0 ? QString() : field.mid(eq + 1);
        if (name == QLatin1String("to"))
            AddAddresses(data, value, 1);
        else if (name == QLatin1String("cc"))
            AddAddresses(data, value, 2);
        else if (name == QLatin1String("bcc"))
            AddAddresses(data, value, 3);
        else if (name == QLatin1String("subject"))
            // One line: a subject never carries a line break into the header.
            data.subject = Decoded(value).simplified();
        else if (name == QLatin1String("body"))
            data.bodyLines = Decoded(value).remove(QLatin1Char('\r')).split(QLatin1Char('\n'));
    }
    return data;
}

} // namespace vm
