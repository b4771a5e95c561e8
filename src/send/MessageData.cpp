#include "send/MessageData.h"

#include <QUrl>

#include <algorithm>

namespace vm {

namespace {

QString Decoded(const QString& text)
{
    return QUrl::fromPercentEncoding(text.toUtf8());
}

// Addresses are split at the commas of the link itself, then decoded, so an
// encoded comma stays inside its address.
void AddAddresses(MessageData& data, const QString& list, int type)
{
    for (const QString& item : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString text = Decoded(item);
        // An item with a line break or another control is dropped whole: it
        // could only be an attempt to write further header lines.
        const bool control = std::any_of(text.begin(), text.end(), [](QChar c) {
            return c.unicode() < 0x20 || c.unicode() == 0x7F;
        });
        EmailAddress a;
        a.SetFullText(text);
        if (control || a.address.isEmpty() || !IsSendableAddress(a.address.toUtf8()))
            continue;
        data.recipients.append(EmailAddress(a.name.simplified(), a.address, type));
    }
}

} // namespace

MessageData MessageFromMailto(const QString& link)
{
    MessageData data;
    QString rest = link;
    if (rest.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
        rest = rest.mid(7);
    const qsizetype q = rest.indexOf(QLatin1Char('?'));
    AddAddresses(data, rest.left(q < 0 ? rest.size() : q), 1);
    if (q < 0)
        return data;
    for (const QString& field : rest.mid(q + 1).split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype eq = field.indexOf(QLatin1Char('='));
        const QString name = Decoded(field.left(eq < 0 ? field.size() : eq)).toLower();
        const QString value = eq < 0 ? QString() : field.mid(eq + 1);
        if (name == QLatin1String("to")) {
            AddAddresses(data, value, 1);
        } else if (name == QLatin1String("cc")) {
            AddAddresses(data, value, 2);
        } else if (name == QLatin1String("subject")) {
            // One line: a line break or other control becomes a blank.
            QString subject = Decoded(value).replace(QLatin1String("\r\n"), QLatin1String(" "));
            for (QChar& c : subject)
                if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                    c = QLatin1Char(' ');
            data.subject = subject.trimmed();
        } else if (name == QLatin1String("body")) {
            QString body = Decoded(value).replace(QLatin1String("\r\n"), QLatin1String("\n"));
            body.replace(QLatin1Char('\r'), QLatin1Char('\n'));
            body.remove(QChar(0));
            data.bodyLines = body.split(QLatin1Char('\n'));
        }
    }
    return data;
}

} // namespace vm
